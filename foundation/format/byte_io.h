// Little-endian reading and writing of the byte formats: the installation data header, archive
// chunks, the setup script and file entries. Every read is bounded by the bytes left; a read that
// would run past the end fails and leaves its target empty. No windows.h here: this code is shared
// by the installer (reader) and the pack tool (writer).
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace halberd::format {

using Bytes = std::vector<uint8_t>;

inline uint16_t LoadU16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t LoadU32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline uint64_t LoadU64(const uint8_t* p) { return uint64_t(LoadU32(p)) | (uint64_t(LoadU32(p + 4)) << 32); }
inline void StoreU16(uint8_t* p, uint16_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); }
inline void StoreU32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); p[2] = uint8_t(v >> 16); p[3] = uint8_t(v >> 24);
}

// Length of a string item: one byte L when L < 255; else 255 then a u16 when its low byte is not
// 255; else 255, 255 and a u32. Lengths above this limit are refused.
constexpr uint32_t kMaxStringLength = 0x40000000;

class ByteReader {
 public:
  ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  explicit ByteReader(const Bytes& b) : data_(b.data()), size_(b.size()) {}

  size_t position() const { return pos_; }
  size_t remaining() const { return size_ - pos_; }
  const uint8_t* current() const { return data_ + pos_; }
  bool at_end() const { return pos_ == size_; }

  bool Skip(size_t n) {
    if (n > remaining()) return false;
    pos_ += n;
    return true;
  }
  bool ReadU8(uint8_t& v) { return Fixed(&v, 1) && (v = data_[pos_ - 1], true); }
  bool ReadU16(uint16_t& v) { return Fixed(nullptr, 2) && (v = LoadU16(data_ + pos_ - 2), true); }
  bool ReadU32(uint32_t& v) { return Fixed(nullptr, 4) && (v = LoadU32(data_ + pos_ - 4), true); }
  bool ReadI32(int32_t& v) {
    uint32_t u;
    if (!ReadU32(u)) return false;
    v = int32_t(u);
    return true;
  }
  bool ReadU64(uint64_t& v) { return Fixed(nullptr, 8) && (v = LoadU64(data_ + pos_ - 8), true); }
  bool ReadDouble(double& v) {
    uint64_t u;
    if (!ReadU64(u)) return false;
    std::memcpy(&v, &u, 8);
    return true;
  }
  bool ReadBytes(size_t n, Bytes& out) {
    out.clear();
    if (n > remaining()) return false;
    out.assign(data_ + pos_, data_ + pos_ + n);
    pos_ += n;
    return true;
  }
  bool ReadBytes(size_t n, std::string& out) {
    out.clear();
    if (n > remaining()) return false;
    out.assign(reinterpret_cast<const char*>(data_ + pos_), n);
    pos_ += n;
    return true;
  }

  // String item with the 255 / 255,255 length forms.
  bool ReadStringLength(uint32_t& n) {
    uint8_t b;
    if (!ReadU8(b)) return false;
    if (b < 255) { n = b; return true; }
    uint16_t w;
    if (!ReadU16(w)) return false;
    if ((w & 0xFF) != 0xFF) { n = w; return true; }
    // The byte after the first 255 was 255: the next byte begins the 4-byte length.
    pos_ -= 1;
    uint32_t d;
    if (!ReadU32(d)) return false;
    if (d > kMaxStringLength) return false;
    n = d;
    return true;
  }
  bool ReadString(std::string& out) {
    out.clear();
    uint32_t n;
    return ReadStringLength(n) && ReadBytes(n, out);
  }
  // UTF-16LE text stored as a string item (its length counts bytes).
  bool ReadWideString(std::u16string& out) {
    out.clear();
    std::string raw;
    if (!ReadString(raw)) return false;
    out = Utf16FromBytes(raw);
    return true;
  }
  bool ReadShortString(std::string& out) {
    out.clear();
    uint8_t n;
    return ReadU8(n) && ReadBytes(n, out);
  }
  bool ReadString16(std::string& out) {
    out.clear();
    uint16_t n;
    return ReadU16(n) && ReadBytes(n, out);
  }
  bool ReadBlob(std::string& out) {
    out.clear();
    int32_t n;
    if (!ReadI32(n) || n < 0) return false;
    return ReadBytes(size_t(n), out);
  }
  bool ReadZString(std::string& out) {
    out.clear();
    if (remaining() == 0) return false;  // memchr must not see a null pointer (empty input)
    const void* z = std::memchr(data_ + pos_, 0, remaining());
    if (!z) return false;
    size_t n = static_cast<const uint8_t*>(z) - (data_ + pos_);
    out.assign(reinterpret_cast<const char*>(data_ + pos_), n);
    pos_ += n + 1;
    return true;
  }
  bool ReadWZString(std::u16string& out) {
    out.clear();
    for (size_t p = pos_; p + 1 < size_; p += 2) {
      if (data_[p] == 0 && data_[p + 1] == 0) {
        out = Utf16FromBytes(std::string(reinterpret_cast<const char*>(data_ + pos_), p - pos_));
        pos_ = p + 2;
        return true;
      }
    }
    return false;
  }

  static std::u16string Utf16FromBytes(const std::string& raw) {
    std::u16string s(raw.size() / 2, u'\0');
    for (size_t i = 0; i < s.size(); ++i)
      s[i] = char16_t(uint8_t(raw[2 * i]) | (uint8_t(raw[2 * i + 1]) << 8));
    return s;
  }

 private:
  bool Fixed(void*, size_t n) {
    if (n > remaining()) return false;
    pos_ += n;
    return true;
  }
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

class ByteWriter {
 public:
  Bytes& bytes() { return buf_; }
  const Bytes& bytes() const { return buf_; }
  size_t size() const { return buf_.size(); }

  void U8(uint8_t v) { buf_.push_back(v); }
  void U16(uint16_t v) { U8(uint8_t(v)); U8(uint8_t(v >> 8)); }
  void U32(uint32_t v) { U16(uint16_t(v)); U16(uint16_t(v >> 16)); }
  void I32(int32_t v) { U32(uint32_t(v)); }
  void U64(uint64_t v) { U32(uint32_t(v)); U32(uint32_t(v >> 32)); }
  void Double(double d) {
    uint64_t u;
    std::memcpy(&u, &d, 8);
    U64(u);
  }
  void Raw(const void* p, size_t n) {
    auto b = static_cast<const uint8_t*>(p);
    buf_.insert(buf_.end(), b, b + n);
  }
  void Raw(const std::string& s) { Raw(s.data(), s.size()); }
  void Raw(const Bytes& b) { Raw(b.data(), b.size()); }

  void StringLength(uint32_t n) {
    if (n < 255) { U8(uint8_t(n)); return; }
    U8(255);
    if (n <= 0xFFFF && (n & 0xFF) != 0xFF) { U16(uint16_t(n)); return; }
    U8(255);
    U32(n);
  }
  void String(const std::string& s) { StringLength(uint32_t(s.size())); Raw(s); }
  void WideString(const std::u16string& s) { String(BytesFromUtf16(s)); }
  void ShortString(const std::string& s) { U8(uint8_t(s.size())); Raw(s.data(), uint8_t(s.size())); }
  void String16(const std::string& s) { U16(uint16_t(s.size())); Raw(s.data(), uint16_t(s.size())); }
  void Blob(const std::string& s) { I32(int32_t(s.size())); Raw(s); }
  void ZString(const std::string& s) { Raw(s.c_str(), std::strlen(s.c_str()) + 1); }
  void WZString(const std::u16string& s) {
    for (char16_t c : s) {
      if (c == 0) break;
      U16(c);
    }
    U16(0);
  }

  static std::string BytesFromUtf16(const std::u16string& s) {
    std::string raw(s.size() * 2, '\0');
    for (size_t i = 0; i < s.size(); ++i) {
      raw[2 * i] = char(s[i] & 0xFF);
      raw[2 * i + 1] = char(s[i] >> 8);
    }
    return raw;
  }

 private:
  Bytes buf_;
};

}  // namespace halberd::format
