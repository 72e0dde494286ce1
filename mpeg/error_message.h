#pragma once
// The decoder's shared error message box ("Error Message", OK, no owner), and
// the fatal exits of a missing table or missing work memory.

namespace lumetra::mpeg {

// printf-style; the text is cut to 4096 characters.
void ShowErrorMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Shows "Unable to allocate <label>\n" and ends the process with status 0.
[[noreturn]] void FailAllocation(const char* label);

} // namespace lumetra::mpeg
