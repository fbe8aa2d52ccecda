#include "host/objects/adodb/StreamCharset.h"

#include "host/pages/CodePages.h"
#include "platform/oleaut/Conversion.h"
#include "platform/oleaut/Dispatch.h"

namespace kelvane::host::adodb {

std::optional<StreamCharset> StreamCharset::Named(std::string_view name) {
  if (oleaut::SameName(name, "unicode") || oleaut::SameName(name, "utf-16")) return StreamCharset(kUtf16);
  const int codePage = CodePageNamed(name);
  if (codePage == 0) return std::nullopt;
  return StreamCharset(codePage);
}

std::string StreamCharset::Encode(std::string_view text) const {
  return codePage_ == kUtf16 ? oleaut::ToUtf16Bytes(text) : EncodeText(text, codePage_);
}

std::string StreamCharset::Decode(std::string_view bytes) const {
  return codePage_ == kUtf16 ? oleaut::FromUtf16Bytes(bytes) : DecodeText(bytes, codePage_);
}

std::string_view StreamCharset::Mark() const {
  switch (codePage_) {
    case kUtf16: return "\xFF\xFE";
    case kUtf8CodePage: return "\xEF\xBB\xBF";
    default: return {};
  }
}

std::size_t StreamCharset::CharacterLength(std::string_view bytes) const {
  if (codePage_ == kUtf8CodePage) return NextUtf8(bytes).length;
  if (codePage_ != kUtf16) return 1;
  if (bytes.size() < 2) return bytes.size();
  const auto high = static_cast<unsigned char>(bytes[1]);
  const bool pair = high >= 0xD8 && high < 0xDC && bytes.size() >= 4 &&
                    static_cast<unsigned char>(bytes[3]) >= 0xDC && static_cast<unsigned char>(bytes[3]) < 0xE0;
  return pair ? 4 : 2;
}

}  // namespace kelvane::host::adodb
