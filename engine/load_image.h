#pragma once
// The loader chain: asks every reader of the engine, in a fixed order, to read a picture file.

class Bitmap;

// Success with the picture in bitmap (as the accepting reader made it), SourceMissing when
// nothing exists at the path, or FormatNotRecognised (values of ConvertResult).
int LoadImage(const char* path, Bitmap* bitmap);
