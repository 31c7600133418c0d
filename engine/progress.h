#pragma once
// Progress reports of readers and the writer.

// phase, percent (0..100), row just finished (0-based), reserved (always 0).
using ProgressCallback = void (*)(int phase, int percent, int row, int reserved);

enum ProgressPhase { PhaseWriting = 0, PhaseReading = 1 };

// Reports row of height; a null callback reports nothing.
inline void ReportProgress(ProgressCallback callback, int phase, int row, int height) {
  if (callback == nullptr || height < 1) return;
  const long long percent = (static_cast<long long>(row) + 1) * 100 / height;
  callback(phase, static_cast<int>(percent), row, 0);
}
