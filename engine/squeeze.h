#pragma once

#include <cstddef>
#include <vector>

namespace lintavel {

// Room that SqueezeDropped may write beyond the bytes it keeps.
inline constexpr std::size_t kSqueezeSlack = 32;

// Copies the `size` bytes at `in` to `out` without the bytes that words drop (tab,
// ASCII punctuation) and returns how many it kept. `out` must have room for
// `size` + kSqueezeSlack bytes; the input is never written.
std::size_t SqueezeDropped(const char* in, std::size_t size, char* out);

// The same, one byte at a time, for the checks of the fast form.
std::size_t SqueezeDroppedPlain(const char* in, std::size_t size, char* out);

// Every form of SqueezeDropped that this processor can run, the plain one first, so
// that the tests hold each of them to the plain one.
using SqueezeFunction = std::size_t (*)(const char* in, std::size_t size, char* out);
std::vector<SqueezeFunction> SqueezeForms();

}  // namespace lintavel
