// SPDX-FileCopyrightText: 2026 The blockbraider authors
// SPDX-License-Identifier: MIT

#ifndef UTIL_UTIL_HPP
#define UTIL_UTIL_HPP

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Checked binary input and output over C streams. No routine returns an error: each one
// delivers what was asked or ends the process with exit status 1 after writing one diagnostic
// "unit:site:function: ..." to stderr. Offsets are absolute signed 32-bit positions.
namespace util {

/// Writes "unit:site:function: text" and a newline to stderr and exits with status 1.
[[noreturn]] void fatal_message(const char* unit, int site, const char* function, const char* text);

/// Writes "unit:site:function:op: ", the system's description of errno and a newline to stderr,
/// as one line in one write, and exits with status 1.
[[noreturn]] void fatal_errno(const char* unit, int site, const char* function, const char* op);

/// Like fatal_errno, but reports "unexpected EOF" when the end-of-file indicator of `stream` is
/// set, and otherwise the description of errno labelled with `op`. Pass a null `stream` when it
/// no longer exists (a failed fclose): the end-of-file test is then skipped.
[[noreturn]] void fatal_stream(const char* unit, int site, const char* function, const char* op,
                               std::FILE* stream);

/// Decodes 2 little-endian bytes.
std::uint16_t unpack_16_le(const unsigned char* bytes);
/// Decodes 2 big-endian bytes.
std::uint16_t unpack_16_be(const unsigned char* bytes);
/// Decodes 4 little-endian bytes.
std::uint32_t unpack_32_le(const unsigned char* bytes);
/// Decodes 4 big-endian bytes.
std::uint32_t unpack_32_be(const unsigned char* bytes);
/// Decodes 8 big-endian bytes.
std::uint64_t unpack_64_be(const unsigned char* bytes);

/// Reads one byte at the current position; a short read ends the process (site 88).
std::uint8_t get_byte(std::FILE* stream);
/// Reads a big-endian 16-bit value; a short read ends the process (site 103).
std::uint16_t get_16_be(std::FILE* stream);
/// Reads a little-endian 16-bit value; a short read ends the process (site 117).
std::uint16_t get_16_le(std::FILE* stream);
/// Reads a big-endian 32-bit value; a short read ends the process (site 131).
std::uint32_t get_32_be(std::FILE* stream);
/// Reads a little-endian 32-bit value; a short read ends the process (site 145).
std::uint32_t get_32_le(std::FILE* stream);
/// Reads a big-endian 64-bit value; a short read ends the process (site 159).
std::uint64_t get_64_be(std::FILE* stream);
/// Reads exactly `count` bytes into `buffer`; a count of 0 reads nothing and never fails, and a
/// short read ends the process (site 173).
void get_bytes(std::FILE* stream, unsigned char* buffer, std::size_t count);

// The seek variants seek to `offset` first; a failed seek ends the process under the variant's
// own name and site, a short read is reported by the sequential reader under its name and site.

/// Reads one byte at `offset` (seek site 94).
std::uint8_t get_byte_seek(std::int32_t offset, std::FILE* stream);
/// Reads a big-endian 16-bit value at `offset` (seek site 109).
std::uint16_t get_16_be_seek(std::int32_t offset, std::FILE* stream);
/// Reads a little-endian 16-bit value at `offset` (seek site 123).
std::uint16_t get_16_le_seek(std::int32_t offset, std::FILE* stream);
/// Reads a big-endian 32-bit value at `offset` (seek site 137).
std::uint32_t get_32_be_seek(std::int32_t offset, std::FILE* stream);
/// Reads a little-endian 32-bit value at `offset` (seek site 151).
std::uint32_t get_32_le_seek(std::int32_t offset, std::FILE* stream);
/// Reads a big-endian 64-bit value at `offset` (seek site 165).
std::uint64_t get_64_be_seek(std::int32_t offset, std::FILE* stream);
/// Reads exactly `count` bytes at `offset` into `buffer` (seek site 178).
void get_bytes_seek(std::int32_t offset, std::FILE* stream, unsigned char* buffer,
                    std::size_t count);

/// Stores the low 16 bits of `value` as 2 little-endian bytes.
void pack_16_le(std::uint32_t value, unsigned char* bytes);
/// Stores the low 16 bits of `value` as 2 big-endian bytes.
void pack_16_be(std::uint32_t value, unsigned char* bytes);
/// Stores `value` as 4 little-endian bytes.
void pack_32_le(std::uint32_t value, unsigned char* bytes);
/// Stores `value` as 4 big-endian bytes.
void pack_32_be(std::uint32_t value, unsigned char* bytes);

/// Writes the low 8 bits of `value`; a short write ends the process (site 188).
void put_byte(std::uint32_t value, std::FILE* stream);
/// Writes the low 16 bits of `value` big-endian; a short write ends the process (site 202).
void put_16_be(std::uint32_t value, std::FILE* stream);
/// Writes the low 16 bits of `value` little-endian; a short write ends the process (site 215).
void put_16_le(std::uint32_t value, std::FILE* stream);
/// Writes `value` big-endian; a short write ends the process (site 228).
void put_32_be(std::uint32_t value, std::FILE* stream);
/// Writes `value` little-endian; a short write ends the process (site 241).
void put_32_le(std::uint32_t value, std::FILE* stream);
/// Writes exactly `count` bytes from `data`; a short write ends the process (site 252).
void put_bytes(std::FILE* stream, const unsigned char* data, std::size_t count);

// The seek variants seek to `offset` first; a failed seek ends the process under the variant's
// own name and site, a short write is reported by the sequential writer under its name and site.

/// Writes the low 8 bits of `value` at `offset` (seek site 192).
void put_byte_seek(std::uint32_t value, std::int32_t offset, std::FILE* stream);
/// Writes the low 16 bits of `value` big-endian at `offset` (seek site 206).
void put_16_be_seek(std::uint32_t value, std::int32_t offset, std::FILE* stream);
/// Writes the low 16 bits of `value` little-endian at `offset` (seek site 219).
void put_16_le_seek(std::uint32_t value, std::int32_t offset, std::FILE* stream);
/// Writes `value` big-endian at `offset` (seek site 232).
void put_32_be_seek(std::uint32_t value, std::int32_t offset, std::FILE* stream);
/// Writes `value` little-endian at `offset` (seek site 245).
void put_32_le_seek(std::uint32_t value, std::int32_t offset, std::FILE* stream);
/// Writes exactly `count` bytes from `data` at `offset` (seek site 257).
void put_bytes_seek(std::int32_t offset, std::FILE* stream, const unsigned char* data,
                    std::size_t count);

/// Writes zero bytes from `offset` up to the next multiple of `multiple`, one put_byte_seek per
/// byte, and returns that end. A multiple below 1 (site 262), a negative offset or an end past
/// 2^31 - 1 (site 263) end the process before anything is written.
std::int32_t pad_to_multiple(std::int32_t offset, std::int32_t multiple, std::FILE* stream);

/// Copies `length` bytes of `in` from `offset` to the current position of `out`, in pieces of
/// at most 2048 bytes; `out` is never repositioned, so successive calls append. A failed seek
/// (site 15), a short read (site 23, after the complete pieces are written) or a short write
/// (site 26) ends the process.
void dump(std::FILE* in, std::FILE* out, std::int32_t offset, std::uint32_t length);

/// Parses `text` as strtol does in base 0 (blanks, sign, decimal, 0x hexadecimal, 0 octal). A
/// value outside the signed 32-bit range ends the process with the range error (site 273);
/// an empty text or anything left after the number gives "bad number format" (site 274).
std::int32_t read_long(const char* text);

/// Prints |width| blanks (through "%*s") and returns what fprintf returns.
int print_spaces(std::FILE* stream, int width);

}  // namespace util

#endif
