// Unicode transcoding between UTF-8, UTF-16 and UTF-32, chosen by the size of the code
// unit (char: UTF-8, 2 bytes: UTF-16, 4 bytes: UTF-32), so `wchar_t` is UTF-16 on
// Windows and UTF-32 elsewhere without extra cases. Malformed input never stops a
// conversion: each maximal ill-formed subsequence becomes one U+FFFD.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "strings/large_buffers.h"

namespace cef_engine::utf {

inline constexpr char32_t kReplacement = 0xFFFD;

inline constexpr bool IsHighSurrogate(uint32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
inline constexpr bool IsLowSurrogate(uint32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// Calls sink(code point) for each code point of `in`; returns false when anything had
// to be replaced.
template <class Char, class Sink>
bool Decode(std::basic_string_view<Char> in, Sink&& sink) {
  bool clean = true;
  const size_t n = in.size();
  size_t i = 0;
  if constexpr (sizeof(Char) == 1) {
    while (i < n) {
      const auto lead = static_cast<unsigned char>(in[i]);
      if (lead < 0x80) {
        sink(char32_t{lead});
        ++i;
        continue;
      }
      // Allowed range of the first continuation byte narrows for leads that could
      // otherwise encode overlong forms, surrogates or values past U+10FFFF.
      int trail = 0;
      char32_t cp = 0;
      unsigned char lo = 0x80, hi = 0xBF;
      if (lead >= 0xC2 && lead <= 0xDF) {
        trail = 1;
        cp = lead & 0x1F;
      } else if (lead >= 0xE0 && lead <= 0xEF) {
        trail = 2;
        cp = lead & 0x0F;
        if (lead == 0xE0) lo = 0xA0;
        if (lead == 0xED) hi = 0x9F;
      } else if (lead >= 0xF0 && lead <= 0xF4) {
        trail = 3;
        cp = lead & 0x07;
        if (lead == 0xF0) lo = 0x90;
        if (lead == 0xF4) hi = 0x8F;
      } else {
        sink(kReplacement);
        clean = false;
        ++i;
        continue;
      }
      size_t j = i + 1;
      bool ok = true;
      for (int k = 0; k < trail; ++k, ++j) {
        const auto c = j < n ? static_cast<unsigned char>(in[j]) : 0;
        if (j >= n || c < lo || c > hi) {
          ok = false;
          break;
        }
        cp = (cp << 6) | (c & 0x3F);
        lo = 0x80;
        hi = 0xBF;
      }
      // On failure j is the offending byte, which starts the next sequence.
      sink(ok ? cp : kReplacement);
      clean = clean && ok;
      i = j;
    }
  } else if constexpr (sizeof(Char) == 2) {
    while (i < n) {
      const auto u = static_cast<uint16_t>(in[i]);
      if (IsHighSurrogate(u) && i + 1 < n && IsLowSurrogate(static_cast<uint16_t>(in[i + 1]))) {
        const auto low = static_cast<uint16_t>(in[i + 1]);
        sink(static_cast<char32_t>(0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00)));
        i += 2;
      } else if (IsHighSurrogate(u) || IsLowSurrogate(u)) {
        sink(kReplacement);
        clean = false;
        ++i;
      } else {
        sink(char32_t{u});
        ++i;
      }
    }
  } else {
    static_assert(sizeof(Char) == 4);
    for (; i < n; ++i) {
      const auto u = static_cast<uint32_t>(in[i]);
      if (u > 0x10FFFF || IsHighSurrogate(u) || IsLowSurrogate(u)) {
        sink(kReplacement);
        clean = false;
      } else {
        sink(static_cast<char32_t>(u));
      }
    }
  }
  return clean;
}

// Appends one valid code point to `out` in the encoding of Char.
template <class Char>
void Encode(char32_t cp, std::basic_string<Char>& out) {
  auto put = [&out](uint32_t unit) { out.push_back(static_cast<Char>(unit)); };
  if constexpr (sizeof(Char) == 1) {
    if (cp < 0x80) {
      put(cp);
    } else if (cp < 0x800) {
      put(0xC0 | (cp >> 6));
      put(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      put(0xE0 | (cp >> 12));
      put(0x80 | ((cp >> 6) & 0x3F));
      put(0x80 | (cp & 0x3F));
    } else {
      put(0xF0 | (cp >> 18));
      put(0x80 | ((cp >> 12) & 0x3F));
      put(0x80 | ((cp >> 6) & 0x3F));
      put(0x80 | (cp & 0x3F));
    }
  } else if constexpr (sizeof(Char) == 2) {
    if (cp < 0x10000) {
      put(cp);
    } else {
      put(0xD800 + ((cp - 0x10000) >> 10));
      put(0xDC00 + ((cp - 0x10000) & 0x3FF));
    }
  } else {
    put(cp);
  }
}

// Appends `in` converted to `out`; false when input was malformed.
// From UTF-8, runs of ASCII (most of any markup) are widened as they are and only the
// bytes between them decoded: an ASCII byte never belongs to a multi-byte sequence, so
// the result is the same as decoding everything.
template <class In, class Out>
bool AppendTranscoded(std::basic_string_view<In> in, std::basic_string<Out>& out) {
  auto encode = [&out](char32_t cp) { Encode(cp, out); };
  if constexpr (sizeof(In) == 1 && sizeof(Out) > 1) {
    auto is_ascii = [](In c) { return static_cast<unsigned char>(c) < 0x80; };
    bool clean = true;
    for (auto at = in.begin(); at != in.end();) {
      const auto ascii_end = std::find_if_not(at, in.end(), is_ascii);
      // Widened a block at a time: appending the bytes' iterators would build a whole
      // temporary string of Out first, as large as the text (a page may be hundreds of
      // megabytes).
      while (at != ascii_end) {
        std::array<Out, 4096> block;
        const auto end = at + std::min(ascii_end - at, static_cast<std::ptrdiff_t>(block.size()));
        const auto block_end = std::copy(at, end, block.begin());
        out.append(block.data(), static_cast<size_t>(block_end - block.begin()));
        at = end;
      }
      const auto other_end = std::find_if(ascii_end, in.end(), is_ascii);
      if (ascii_end != other_end) clean &= Decode(std::basic_string_view<In>(ascii_end, other_end), encode);
      at = other_end;
    }
    return clean;
  } else {
    return Decode(in, encode);
  }
}

// Converts `in` into `out` (replacing its content); false when input was malformed.
template <class In, class Out>
bool Transcode(std::basic_string_view<In> in, std::basic_string<Out>& out) {
  out.clear();
  ReserveLarge(out, in.size());
  return AppendTranscoded(in, out);
}

}  // namespace cef_engine::utf
