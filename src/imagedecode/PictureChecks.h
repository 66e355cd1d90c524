#pragma once
// Files DevIL 1.7.8 must not be given: it loops for ever, frees a buffer
// twice, allocates gigabytes, writes past its buffers or goes on with a buffer
// it did not get on some broken PNM, TGA, PCX, PIX, Photoshop, BMP, SGI,
// Softimage, Pixar and ILBM files. Each check follows how DevIL picks its
// reader (the ending, or the first bytes where the ending is none of its
// own), and refuses only what no valid picture is, or the few valid layouts
// DevIL cannot read without writing past its buffers (a Softimage picture
// without alpha, a text PNM with lines of 180 characters or more).

#include <string>

// Whether the picture at `path` is one of those.
bool FailsDevil(const std::string& path);
