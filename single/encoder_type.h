#pragma once
// The program-wide GDI+ target format: 1 BMP, 2 JPEG, 3 GIF, 4 TIFF, 5 PNG. Start-up sets it to
// 5; the single-image panel sets it before each conversion.
extern int EncoderType;
