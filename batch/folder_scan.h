#pragma once
// Finding the pictures of a folder tree for the batch list.
#include <string>
#include <vector>

#include "platform/codepage.h"

// The second of the dot-separated parts of a file name: "jpg" for a.jpg, .jpg and a.jpg.bak,
// "b" for a.b.jpg, "" for a..jpg and for a name without a dot.
std::string SecondDotPart(const std::string& name,
                          platform::CodePage codePage = platform::SystemCodePage());

// The text after the last separator of a path; the whole path when it has none.
std::string FileNameOf(const std::string& path,
                       platform::CodePage codePage = platform::SystemCodePage());

// Appends the full path of every file at or below folder whose second name part is exactly
// "jpg", "bmp" or "gif": a folder's own files first, then each sub-folder's, depth first.
// Folders whose names start with "." are not entered, nor is a folder entered twice in one scan
// (links may form cycles). Folders that cannot be read contribute nothing.
void ScanFolder(const std::string& folder, std::vector<std::string>* found);
