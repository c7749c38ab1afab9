// A small setup script written byte by byte from the item table, without the codec: an oracle for
// the reader (and, through it, for what the settings take from each item). The bytes are also the
// seed "hand_written" of the setup-script fuzz target (after the target's one selector byte).
#pragma once
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace halberd::test {

// Little-endian bytes, appended by hand.
class HandBytes {
 public:
  HandBytes& u8(uint32_t v) { bytes_.push_back(uint8_t(v)); return *this; }
  HandBytes& u16(uint32_t v) { return u8(v).u8(v >> 8); }
  HandBytes& u32(uint32_t v) { return u16(v).u16(v >> 16); }
  HandBytes& u64(uint64_t v) { return u32(uint32_t(v)).u32(uint32_t(v >> 32)); }
  HandBytes& f64(double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    return u64(bits);
  }
  HandBytes& raw(const std::string& s) {
    for (char c : s) u8(uint8_t(c));
    return *this;
  }
  // ASCII text as UTF-16LE bytes.
  static std::string Wide(const std::string& ascii) {
    std::string out;
    for (char c : ascii) {
      out += c;
      out += '\0';
    }
    return out;
  }
  // string: length below 255 in one byte, else 255 and a u16.
  HandBytes& str(const std::string& bytes) {
    if (bytes.size() < 255) u8(uint32_t(bytes.size()));
    else u8(255).u16(uint32_t(bytes.size()));
    return raw(bytes);
  }
  HandBytes& text(const std::string& ascii) { return str(Wide(ascii)); }         // string, UTF-16LE
  HandBytes& short_text(const std::string& ascii) { return u8(uint32_t(Wide(ascii).size())).raw(Wide(ascii)); }
  HandBytes& text16(const std::string& ascii) { return u16(uint32_t(Wide(ascii).size())).raw(Wide(ascii)); }
  HandBytes& blob(const std::string& bytes) { return u32(uint32_t(bytes.size())).raw(bytes); }
  HandBytes& z(const std::string& bytes) { return raw(bytes).u8(0); }
  HandBytes& wz(const std::string& ascii) { return raw(Wide(ascii)).u16(0); }

  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

// ProductFlags of the fixture: dialog colours (bit 4, item 48 present), xz chunks (bit 5), bit 40.
// Neither the uninstaller (bit 2, item 68) nor a master product (bit 16, item 52). ProductFlags2
// is 0: items 49-51 are absent.
inline constexpr uint64_t kHandScriptFlags = 0x0000010000000030ull;

inline std::vector<uint8_t> HandWrittenScript() {
  HandBytes b;
  b.u64(kHandScriptFlags);                      // 1  ProductFlags
  b.u8(1);                                      // 2  run mode: automatic
  b.text("Bar");                                // 3  taskbar text
  b.text("Title");                              // 4  display title
  b.f64(1.5);                                   // 5  title size
  b.u32(0x11223344);                            // 6  progress page value
  b.u16(1200);                                  // 7  dwell time (ms)
  b.u8(1);                                      // 8  shortcut mode: all users
  for (int i = 0; i < 24; ++i) b.u8(0x90 + i);  // 9  uninstaller file information, 24 bytes
  b.text("Vendor");                             // 10 publisher
  b.text("App");                                // 11 display name
  b.text(std::string(150, 'd'));                // 12 description: 300 bytes, the long length form
  b.u8(2);                                      // 13 bitness: 32-bit product
  b.u8(3);                                      // 14 shared base folder
  b.text("Shared");                             // 15 shared path
  b.text("");                                   // 16 portable shared subfolder
  b.text("Menu");                               // 17 Start-menu folder
  b.text("1.2.3");                              // 18 display version
  b.text("C:\\App");                            // 19 default installation folder
  b.text("Vendor\\App");                        // 20 product registry key
  b.blob(HandBytes::Wide("HKLM"));              // 21 registry entries (UTF-16LE in a blob)
  b.text("");                                   // 22 registry merge
  b.text("app.exe");                            // 23 App Paths program
  b.u32(40);                                    // 24 bitmap size
  b.u32(1);                                     // 25 stretch mode
  b.u32(uint32_t(-1));                          // 26 uninstall fonts
  b.u32(2);                                     // 27 uninstall shared
  b.text16("");                                 // 28 greeting link
  b.u32(1).blob("Licence");                     // 29 one licence text
  b.u32(0);                                     // 30 no readme text
  b.text("uninst");                             // 31 uninstall subfolder
  b.short_text("uninstall.exe");                // 32 uninstaller file name
  b.text("AppKey");                             // 33 uninstall key name
  b.text16("");                                 // 34 earlier installation location
  b.text16("Tahoma");                           // 35 dialog font
  b.u32(125);                                   // 36 dialog zoom
  b.text("<product> Setup");                    // 37 dialog caption
  b.u32(0x010203);                              // 38 banner text colour
  b.u8(2);                                      // 39 title drawing option
  b.u32(0x040506);                              // 40 title colour
  b.u8(0);                                      // 41 title shadow
  b.u8(1);                                      // 42 title position
  b.text16("Serif");                            // 43 title font
  b.u32(0x070809);                              // 44 top colour
  b.u32(0x0A0B0C);                              // 45 bottom colour
  b.u32(2).raw("BM").u32(5);                    // 46 picture of 2 bytes, transparent index 5
  b.u8(2).u32(0x0D0E0F).f64(0.75)               // 47 copyright at position 2: colour, size,
      .text("(c) Vendor").text("Arial");        //    text, font
  b.u32(0x101112).u32(0x131415);                // 48 dialog colours (ProductFlags bit 4)
  b.str("");                                    // 53 opening sound: none
  b.text("Desk");                               // 54 desktop folder
  b.blob("");                                   // 55 desktop folder icon: none
  b.str("echo pre");                            // 56 batches, code page 1252: pre-install,
  for (int i = 0; i < 6; ++i) b.str("");        //    the six others empty
  for (int i = 0; i < 20; ++i) b.u8(0x30 + i);  // 57 minimum Windows version, 20 bytes
  b.u32(6);                                     // 58 excluded Windows mask
  b.u8(1);                                      // 59 archive source
  b.text("C:\\App\\app.exe");                   // 60 launch program,
  for (int i = 0; i < 8; ++i) b.text("");       //    document, second document, blocking query,
                                                //    start, new install, upgrade, downgrade, reinstall
  b.text("https://example.com/u");              //    NotifyURL (uninstalled)
  b.text("Hello");                              //    greeting text
  b.text("").text("");                          //    cancel and problem-report addresses
  b.z("1.0");                                   // 61 upgrade confirmation minimum
  b.short_text("0.9");                          // 62 no downgrade below
  b.u16(2024).u8(5).u8(17);                     // 63 build date 2024-05-17
  b.u32(0);                                     // 64 reserved
  b.text("");                                   // 65 password
  b.text("1.1").text("").text("bin");           // 66 upgrade minimum, firewall, PATH subfolder
  for (uint32_t v : {256u, 0u, 1u, 2u, 3u, 0u, 1u, 3u, 2u, 1u, 1u, 0u}) b.u32(v);  // 67 settings
  b.z("*.log").u8(1).z("x").u8(8);              // 69 one conditional deletion,
  b.z("~~THE END~~");                           //    then the end of the list
  b.u32(0);                                     // 70 no associations
  b.u32(0);                                     // 71 no registrations
  b.text("").text("").wz("").wz("");            // 72 further commands and their texts
  b.u32(1).short_text("Comments").u8(1).text("Hi");  // 73 one uninstall value
  b.text16("Help");                             // 74 support offer,
  b.blob("");                                   //    no product icon
  b.text16("AppWindow").text16("").text16("app.exe").u8(1).u8(0);  // 75 one program to close,
  b.u16(11).raw("~~THE~END~~");                 //    then the 8-bit end mark
  b.u8(2);                                      // 76 two languages
  b.u32(2);                                     // 77 two texts
  b.wz("English").wz("Deutsch");                // 78 language names
  b.wz("App EN").wz("App DE");                  // 79 text 0 in each language,
  b.wz("Line1\nLine2").wz("Zeile");             //    text 1 (a lone LF becomes CR LF)
  b.u32(0xD3E82B97);                            // 80 end marker
  return b.bytes();
}

}  // namespace halberd::test
