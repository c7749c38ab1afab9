#include "engine/message_text.h"

namespace halberd::engine {

std::u16string FillInText(std::u16string_view text, std::initializer_list<std::u16string_view> values) {
  std::u16string out;
  out.reserve(text.size());
  auto next = values.begin();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != u'%' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    char16_t kind = text[i + 1];
    if (kind == u'%') {
      out += u'%';
      ++i;
    } else if (kind == u's' || kind == u'd') {
      if (next != values.end()) out.append(*next++);
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace halberd::engine
