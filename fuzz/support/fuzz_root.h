// What every fuzz target shares: a private appliance root that is the
// working directory (the fuzz build uses the "." root), stub sync and
// reboot first on PATH, the reply captured in a file, and the splitting of
// one fuzz input into the texts a target feeds the program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace fuzzing {

// Creates the root and enters it; later calls do nothing. Call it from
// LLVMFuzzerInitialize before laying out any file.
void enterRoot();

// Appliance paths such as "/mnt/m.ini".
void put(const char* path, const std::string& content);
void putDirectory(const char* path);  // a path no file can be written at
void remove(const char* path);
std::optional<std::string> get(const char* path);

// Puts the process-wide records of a request back to their start: the
// settings record, the pending change line and the form fields.
void startRequest();

// Empties the captured reply; output() returns what was printed since.
void startOutput();
std::string output();

// The input as text.
std::string text(const std::uint8_t* data, std::size_t size);

// Removes the first line (through its "\n") from text and returns it
// without the "\n"; the whole text when it has no line end.
std::string takeLine(std::string& text);

// Splits text at its first count - 1 record separators (0x1E); missing
// sections are nullopt, which targets take for an absent file.
std::vector<std::optional<std::string>> sections(const std::string& text, std::size_t count);

// A leading decimal number of a control line, clamped to [low, high];
// fallback when there is none.
long number(const std::string& text, long low, long high, long fallback);

// Reports a broken property and aborts, which libFuzzer records as a crash.
[[noreturn]] void fail(const char* condition, const char* file, int line);

}  // namespace fuzzing

#define FUZZ_CHECK(condition) \
    ((condition) ? (void)0 : ::fuzzing::fail(#condition, __FILE__, __LINE__))
