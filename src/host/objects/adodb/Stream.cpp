#include "host/objects/adodb/Stream.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>

#include "host/objects/adodb/AdoErrors.h"
#include "host/objects/adodb/StreamCharset.h"
#include "host/objects/adodb/StreamFiles.h"
#include "host/pages/PageDeadline.h"
#include "platform/oleaut/AutomationError.h"
#include "platform/oleaut/Conversion.h"
#include "platform/oleaut/DispatchTable.h"

namespace kelvane::host::adodb {

namespace {

using namespace oleaut;

constexpr Long kTypeBinary = 1, kTypeText = 2;
constexpr Long kReadAll = -1, kReadLine = -2;
constexpr Long kWriteLine = 1;
constexpr Long kCR = 13, kLF = 10, kCRLF = -1;
constexpr Long kModeRead = 1, kModeWrite = 2;
// Every flag of Mode: the access (1 to 3), the sharing (4 to 16), recursive.
constexpr Long kModeFlags = 0x1F | 0x400000;
constexpr Long kSaveCreateNotExist = 1, kSaveCreateOverWrite = 2;

enum Member : DISPID {
  kSize = 1, kEOS, kPosition, kType, kLineSeparator, kState, kMode, kCharset, kRead, kOpen, kClose, kSkipLine,
  kWrite, kSetEOS, kCopyTo, kFlush, kSaveToFile, kLoadFromFile, kReadText, kWriteText, kCancel,
};

constexpr std::array<std::string_view, 1> kValue{"value"};
constexpr std::array<std::string_view, 5> kOpenParams{"Source", "Mode", "Options", "UserName", "Password"};
constexpr std::array<std::string_view, 1> kReadParams{"NumBytes"};
constexpr std::array<std::string_view, 1> kReadTextParams{"NumChars"};
constexpr std::array<std::string_view, 1> kWriteParams{"Buffer"};
constexpr std::array<std::string_view, 2> kWriteTextParams{"Data", "Options"};
constexpr std::array<std::string_view, 2> kCopyToParams{"DestStream", "CharNumber"};
constexpr std::array<std::string_view, 2> kSaveParams{"FileName", "Options"};
constexpr std::array<std::string_view, 1> kLoadParams{"FileName"};

class Stream : public IDispatch {
 public:
  std::optional<DISPID> GetIDOfName(std::string_view name) const override { return Table().GetIDOfName(name); }
  const InterfaceDesc* GetTypeInfo() const override { return &Description(); }
  Variant Invoke(DISPID id, std::uint16_t kind, std::span<const Variant> args) override {
    return Table().Invoke(*this, id, kind, args);
  }

  Long get_Type() const { return type_; }
  void put_Type(Long type) {
    if (type != kTypeBinary && type != kTypeText) RaiseAdo(kWrongArguments, "ADODB.Stream");
    AtStartWhenOpen();
    type_ = type;
  }

  std::string get_Charset() const { return charsetName_; }
  void put_Charset(std::string name) {
    const std::optional<StreamCharset> charset = StreamCharset::Named(name);
    if (!charset) RaiseAdo(kWrongArguments, "ADODB.Stream");
    AtStartWhenOpen();
    charset_ = *charset;
    charsetName_ = std::move(name);
  }

  Long get_Mode() const { return mode_; }
  void put_Mode(Long mode) {
    if (open_) RaiseAdo(kObjectOpen, "ADODB.Stream");
    if ((mode & ~kModeFlags) != 0) RaiseAdo(kWrongArguments, "ADODB.Stream");
    mode_ = mode;
  }

  Long get_LineSeparator() const { return lineSeparator_; }
  void put_LineSeparator(Long separator) {
    if (separator != kCR && separator != kLF && separator != kCRLF) RaiseAdo(kWrongArguments, "ADODB.Stream");
    lineSeparator_ = separator;
  }

  Long get_State() const { return open_ ? 1 : 0; }

  Long get_Size() const { return static_cast<Long>(Opened().size()); }
  VariantBool get_EOS() const { return ToVariantBool(position_ >= Opened().size()); }
  Long get_Position() const {
    Opened();
    return static_cast<Long>(position_);
  }
  // A position past the end makes the stream longer, with zero bytes.
  void put_Position(Long position) {
    std::string& bytes = Opened();
    if (position < 0) RaiseAdo(kWrongArguments, "ADODB.Stream");
    const auto at = static_cast<std::size_t>(position);
    if (at > bytes.size()) bytes.resize(at);
    position_ = at;
  }

  void Open(std::optional<Variant> source, std::optional<Long> mode, std::optional<Long>, std::optional<std::string>,
            std::optional<std::string>) {
    if (open_) RaiseAdo(kObjectOpen, "ADODB.Stream");
    // Only a stream of its own: no URL or record to open it on.
    if (source && !source->IsEmpty() && !(source->IsString() && source->If<std::string>()->empty()))
      RaiseAdo(kWrongArguments, "ADODB.Stream");
    if (mode && *mode != 0) put_Mode(*mode);
    open_ = true;
  }

  void Close() {
    Opened();
    open_ = false;
    position_ = 0;
    bytes_ = std::string();
  }

  // Null when no byte is left to read.
  Variant Read(std::optional<Long> count) {
    const std::string_view rest = Readable(kTypeBinary);
    const Long wanted = count.value_or(kReadAll);
    if (wanted < kReadAll) RaiseAdo(kWrongArguments, "ADODB.Stream");
    const std::string_view read = rest.substr(0, Span(rest, wanted));
    if (read.empty()) return Variant::Null();
    position_ += read.size();
    return Variant::ByteArray({read.begin(), read.end()}, 0);
  }

  std::string ReadText(std::optional<Long> count) {
    std::string_view rest = Readable(kTypeText);
    const Long wanted = count.value_or(kReadAll);
    if (wanted < kReadLine) RaiseAdo(kWrongArguments, "ADODB.Stream");
    const std::size_t skipped = SkipMark(rest);
    rest.remove_prefix(skipped);
    std::size_t taken = 0, consumed = 0;
    if (wanted == kReadLine) std::tie(taken, consumed) = Line(rest);
    else taken = consumed = Span(rest, wanted);
    position_ += skipped + consumed;
    return charset_.Decode(rest.substr(0, taken));
  }

  void SkipLine() {
    std::string_view rest = Readable(kTypeText);
    const std::size_t skipped = SkipMark(rest);
    position_ += skipped + Line(rest.substr(skipped)).second;
  }

  // Strings are taken as their bytes, as Response.BinaryWrite takes them:
  // they are the bytes a .ksp page has.
  void Write(Variant buffer) {
    Writable(kTypeBinary);
    if (const auto* text = buffer.If<std::string>()) return Put(*text);
    if (!IsByteArray(buffer)) RaiseAdo(kWrongArguments, "ADODB.Stream");
    Put(BytesOf(**buffer.If<ArrayRef>()));
  }

  void WriteText(std::string text, std::optional<Long> options) {
    Writable(kTypeText);
    const Long option = options.value_or(0);
    if (option != 0 && option != kWriteLine) RaiseAdo(kWrongArguments, "ADODB.Stream");
    if (option == kWriteLine) text += Separator();
    std::string bytes = position_ == 0 ? std::string(charset_.Mark()) : std::string();
    bytes += charset_.Encode(text);
    Put(bytes);
  }

  void SetEOS() {
    Writable(type_);
    bytes_.resize(position_);
  }

  // Nothing is held back or runs apart from the call that asked for it:
  // these only check that they are called rightly.
  void Flush() { Opened(); }
  void Cancel() {}

  // Copies `count` bytes (binary) or characters (text), -1 the rest, from
  // the position on into `destination` at its position. Text goes into a
  // text stream in that stream's charset.
  void CopyTo(Variant destination, std::optional<Long> count) {
    auto* target = dynamic_cast<Stream*>(ToObject(destination).get());
    if (target == nullptr) RaiseAdo(kWrongArguments, "ADODB.Stream");
    const Long wanted = count.value_or(kReadAll);
    if (wanted < kReadAll) RaiseAdo(kWrongArguments, "ADODB.Stream");
    target->Writable(target->type_);
    if (type_ == kTypeText && target->type_ == kTypeText) {
      target->WriteText(ReadText(wanted), std::nullopt);
      return;
    }
    const std::string_view rest = Readable(type_);
    const std::string copied(rest.substr(0, Span(rest, wanted)));
    position_ += copied.size();
    target->Put(copied);
  }

  void LoadFromFile(std::string path) {
    Opened();
    bytes_ = ReadStreamFile(path);
    position_ = 0;
  }

  void SaveToFile(std::string path, std::optional<Long> options) {
    const std::string& bytes = Opened();
    const Long option = options.value_or(kSaveCreateNotExist);
    if (option != kSaveCreateNotExist && option != kSaveCreateOverWrite) RaiseAdo(kWrongArguments, "ADODB.Stream");
    WriteStreamFile(path, bytes, option == kSaveCreateOverWrite);
    position_ = 0;
  }

 private:
  // The bytes of an open stream; 3704 when it is closed.
  std::string& Opened() {
    if (!open_) RaiseAdo(kObjectClosed, "ADODB.Stream");
    return bytes_;
  }
  const std::string& Opened() const {
    if (!open_) RaiseAdo(kObjectClosed, "ADODB.Stream");
    return bytes_;
  }

  // Type and Charset change only where the text starts.
  void AtStartWhenOpen() const {
    if (open_ && position_ != 0) RaiseAdo(kNotAllowedHere, "ADODB.Stream");
  }

  // The bytes from the position on, for a read of a stream of `type`.
  std::string_view Readable(Long type) const {
    const std::string& bytes = Opened();
    if (type_ != type || (mode_ & 3) == kModeWrite) RaiseAdo(kNotAllowedHere, "ADODB.Stream");
    return std::string_view(bytes).substr(std::min(position_, bytes.size()));
  }

  void Writable(Long type) {
    Opened();
    if (type_ != type || (mode_ & 3) == kModeRead) RaiseAdo(kNotAllowedHere, "ADODB.Stream");
  }

  // The length of the byte-order mark that `rest` starts with at the
  // stream's start; 0 anywhere else.
  std::size_t SkipMark(std::string_view rest) const {
    const std::string_view mark = charset_.Mark();
    return position_ == 0 && !mark.empty() && rest.starts_with(mark) ? mark.size() : 0;
  }

  // The bytes of the first `count` bytes or, in a text stream, characters
  // of `rest`; all of it for -1.
  std::size_t Span(std::string_view rest, Long count) const {
    if (count == kReadAll) return rest.size();
    if (type_ == kTypeBinary) return std::min(rest.size(), static_cast<std::size_t>(count));
    std::size_t length = 0;
    DeadlineTicker ticker;
    for (Long n = 0; n < count && length < rest.size(); ++n) {
      ticker.Tick();
      length += charset_.CharacterLength(rest.substr(length));
    }
    return length;
  }

  std::string_view Separator() const {
    return lineSeparator_ == kCR ? "\r" : lineSeparator_ == kLF ? "\n" : "\r\n";
  }

  // The line at the start of `rest`: the bytes of its text, and those up to
  // and with its separator (all of `rest` for a last line without one).
  std::pair<std::size_t, std::size_t> Line(std::string_view rest) const {
    const std::string separator = charset_.Encode(Separator());
    const std::size_t unit = charset_.UnitSize();
    for (std::size_t at = rest.find(separator); at != std::string_view::npos; at = rest.find(separator, at + 1))
      if (at % unit == 0) return {at, at + separator.size()};
    return {rest.size(), rest.size()};
  }

  // Writes `bytes` over those at the position, the stream growing as they
  // reach past its end; the position moves past them.
  void Put(std::string_view bytes) {
    if (bytes.size() > kMostStreamBytes - position_) RaiseRuntimeError(kOutOfMemory);
    const std::size_t end = position_ + bytes.size();
    if (end > bytes_.size()) bytes_.resize(end);
    std::copy(bytes.begin(), bytes.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(position_));
    position_ = end;
  }

  static const DispatchTable<Stream>& Table() {
    static const DispatchTable<Stream> table({
        Bind<&Stream::get_Size>(kSize, "Size", DISPATCH_PROPERTYGET),
        Bind<&Stream::get_EOS>(kEOS, "EOS", DISPATCH_PROPERTYGET),
        Bind<&Stream::get_Position>(kPosition, "Position", DISPATCH_PROPERTYGET),
        Bind<&Stream::put_Position>(kPosition, "Position", DISPATCH_PROPERTYPUT, kValue),
        Bind<&Stream::get_Type>(kType, "Type", DISPATCH_PROPERTYGET),
        Bind<&Stream::put_Type>(kType, "Type", DISPATCH_PROPERTYPUT, kValue),
        Bind<&Stream::get_LineSeparator>(kLineSeparator, "LineSeparator", DISPATCH_PROPERTYGET),
        Bind<&Stream::put_LineSeparator>(kLineSeparator, "LineSeparator", DISPATCH_PROPERTYPUT, kValue),
        Bind<&Stream::get_State>(kState, "State", DISPATCH_PROPERTYGET),
        Bind<&Stream::get_Mode>(kMode, "Mode", DISPATCH_PROPERTYGET),
        Bind<&Stream::put_Mode>(kMode, "Mode", DISPATCH_PROPERTYPUT, kValue),
        Bind<&Stream::get_Charset>(kCharset, "Charset", DISPATCH_PROPERTYGET),
        Bind<&Stream::put_Charset>(kCharset, "Charset", DISPATCH_PROPERTYPUT, kValue),
        Bind<&Stream::Read>(kRead, "Read", DISPATCH_METHOD, kReadParams),
        Bind<&Stream::Open>(kOpen, "Open", DISPATCH_METHOD, kOpenParams),
        Bind<&Stream::Close>(kClose, "Close", DISPATCH_METHOD),
        Bind<&Stream::SkipLine>(kSkipLine, "SkipLine", DISPATCH_METHOD),
        Bind<&Stream::Write>(kWrite, "Write", DISPATCH_METHOD, kWriteParams),
        Bind<&Stream::SetEOS>(kSetEOS, "SetEOS", DISPATCH_METHOD),
        Bind<&Stream::CopyTo>(kCopyTo, "CopyTo", DISPATCH_METHOD, kCopyToParams),
        Bind<&Stream::Flush>(kFlush, "Flush", DISPATCH_METHOD),
        Bind<&Stream::SaveToFile>(kSaveToFile, "SaveToFile", DISPATCH_METHOD, kSaveParams),
        Bind<&Stream::LoadFromFile>(kLoadFromFile, "LoadFromFile", DISPATCH_METHOD, kLoadParams),
        Bind<&Stream::ReadText>(kReadText, "ReadText", DISPATCH_METHOD, kReadTextParams),
        Bind<&Stream::WriteText>(kWriteText, "WriteText", DISPATCH_METHOD, kWriteTextParams),
        Bind<&Stream::Cancel>(kCancel, "Cancel", DISPATCH_METHOD),
    });
    return table;
  }
  static const InterfaceDesc& Description() {
    static const InterfaceDesc description{"_Stream", GUID{}, 0, "IDispatch", Table().Functions()};
    return description;
  }

  bool open_ = false;
  Long type_ = kTypeText;
  Long mode_ = 0;
  Long lineSeparator_ = kCRLF;
  std::string charsetName_ = "Unicode";
  StreamCharset charset_ = *StreamCharset::Named("unicode");
  std::string bytes_;
  std::size_t position_ = 0;
};

}  // namespace

std::shared_ptr<IDispatch> CreateStream() { return std::make_shared<Stream>(); }

}  // namespace kelvane::host::adodb
