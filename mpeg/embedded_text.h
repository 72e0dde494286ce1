#pragma once
// The decoder's text tables ("alloc_0".."alloc_4", "dewindow", "huffdec") as
// read-only streams over the embedded resources of type "textfile".

#include <cstdio>

namespace lumetra::mpeg {

// A stream positioned at the start of the table, or nullptr when it is missing.
FILE* OpenEmbeddedText(const char* name);
// Closes a stream from OpenEmbeddedText (nullptr is ignored); always 1.
int CloseEmbeddedText(FILE* stream);

// Replaces where tables come from (nullptr restores the resources), so tests can
// present missing or damaged tables.
using EmbeddedTextOpener = FILE* (*)(const char* name);
void SetEmbeddedTextOpener(EmbeddedTextOpener opener);

} // namespace lumetra::mpeg
