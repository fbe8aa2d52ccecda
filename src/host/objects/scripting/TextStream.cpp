#include "host/objects/scripting/TextStream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <limits>
#include <string>
#include <string_view>
#include <utility>

#include "host/objects/scripting/FileErrors.h"
#include "host/pages/CodePages.h"
#include "host/pages/HostResponse.h"
#include "host/pages/PageDeadline.h"
#include "platform/complus/ObjectContext.h"
#include "platform/oleaut/AutomationError.h"
#include "platform/oleaut/DispatchTable.h"

namespace kelvane::host::scripting {

namespace {

using namespace oleaut;
namespace fs = std::filesystem;

// Bytes read from the file at a time, and written once gathered.
constexpr std::size_t kChunk = 64 * 1024;
// Streams one page may hold open: file descriptors are the process's.
constexpr int kMostOpen = 256;
constexpr std::string_view kUtf16Mark = "\xFF\xFE";
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

thread_local int openStreams = 0;

// The code page of the response of the page running; UTF-8 outside one.
int PageCodePage() {
  const auto context = complus::GetObjectContext();
  if (!context) return kUtf8CodePage;
  const Variant item = context->get_Item("Response");
  const auto* object = item.If<ObjectRef>();
  const auto* response = object ? dynamic_cast<const HostResponse*>(object->get()) : nullptr;
  return response ? response->CodePage() : kUtf8CodePage;
}

// An open file, counted against the streams a page may hold open.
class Descriptor {
 public:
  explicit Descriptor(int fd) noexcept : fd_(fd) { ++openStreams; }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() { Close(); }
  int Get() const noexcept { return fd_; }
  bool IsOpen() const noexcept { return fd_ >= 0; }
  void Close() noexcept {
    if (fd_ < 0) return;
    ::close(fd_);
    --openStreams;
    fd_ = -1;
  }

 private:
  int fd_;
};

// Opens a regular file: a folder, a pipe or a device is refused (70), and
// opening never waits on one.
std::unique_ptr<Descriptor> OpenFile(const fs::path& file, int flags) {
  if (openStreams >= kMostOpen) RaiseRuntimeError(kTooManyFiles);
  const int fd = ::open(file.c_str(), flags | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0666);
  // A file to be made is missing its folder.
  if (fd < 0) RaiseFileError(errno, (flags & O_CREAT) != 0 ? Missing::Folder : Missing::File);
  auto descriptor = std::make_unique<Descriptor>(fd);
  struct stat status {};
  if (::fstat(fd, &status) != 0) RaiseFileError(errno);
  if (!S_ISREG(status.st_mode)) RaiseRuntimeError(kPermissionDenied);
  ::fcntl(fd, F_SETFL, flags & O_APPEND);
  return descriptor;
}

// The first bytes of the file, up to `size`.
std::string Head(int fd, std::size_t size) {
  std::string head(size, '\0');
  const ssize_t got = ::pread(fd, head.data(), size, 0);
  head.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return head;
}

// The length of `bytes` up to a character that the bytes after it may
// still complete: a UTF-8 sequence or a UTF-16 high surrogate cut short.
std::size_t WholeUtf8(std::string_view bytes) {
  for (std::size_t back = 1; back <= std::min<std::size_t>(3, bytes.size()); ++back) {
    const auto lead = static_cast<unsigned char>(bytes[bytes.size() - back]);
    if ((lead & 0xC0) == 0x80) continue;
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    return length > back ? bytes.size() - back : bytes.size();
  }
  return bytes.size();
}
std::size_t WholeUtf16(std::string_view bytes) {
  std::size_t whole = bytes.size() & ~std::size_t{1};
  if (whole >= 2) {
    const auto high = static_cast<unsigned char>(bytes[whole - 1]);
    if (high >= 0xD8 && high < 0xDC) whole -= 2;
  }
  return whole;
}

bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

enum class Encoding { CodePage, Utf16 };

enum Member : DISPID {
  kLine = 1, kColumn, kAtEndOfStream, kAtEndOfLine, kRead, kReadLine, kReadAll, kWrite, kWriteLine,
  kWriteBlankLines, kSkip, kSkipLine, kClose,
};

constexpr std::array<std::string_view, 1> kCharacters{"Characters"};
constexpr std::array<std::string_view, 1> kText{"Text"};
constexpr std::array<std::string_view, 1> kLines{"Lines"};

class TextStream : public IDispatch {
 public:
  TextStream(std::unique_ptr<Descriptor> file, IOMode mode, Encoding encoding, int codePage)
      : file_(std::move(file)), reading_(mode == IOMode::Reading), encoding_(encoding), codePage_(codePage) {}

  ~TextStream() override {
    try {
      Flush();
    } catch (...) {
      // What cannot be written at the end is lost, as a failed Close loses it.
    }
  }

  std::optional<DISPID> GetIDOfName(std::string_view name) const override { return Table().GetIDOfName(name); }
  const InterfaceDesc* GetTypeInfo() const override { return &Description(); }
  Variant Invoke(DISPID id, std::uint16_t kind, std::span<const Variant> args) override {
    return Table().Invoke(*this, id, kind, args);
  }

  // Bytes written before anything the page writes: a byte-order mark.
  void Prefix(std::string_view bytes) { out_ += bytes; }

  Long get_Line() const { return Clamp(line_); }
  Long get_Column() const { return Clamp(column_); }

  VariantBool get_AtEndOfStream() {
    ForReading();
    return ToVariantBool(AtEnd());
  }

  VariantBool get_AtEndOfLine() {
    ForReading();
    if (AtEnd() || text_[at_] == '\n') return VariantBool::True;
    if (text_[at_] != '\r') return VariantBool::False;
    if (at_ + 1 == text_.size()) Fill();
    return ToVariantBool(at_ + 1 < text_.size() && text_[at_ + 1] == '\n');
  }

  std::string Read(Long characters) {
    if (characters < 0) RaiseRuntimeError(kInvalidProcedureCall);
    ForReading();
    if (AtEnd()) RaiseRuntimeError(kInputPastEndOfFile);
    std::size_t end = at_;
    for (Long taken = 0; taken < characters; ++taken) {
      if (end == text_.size() && !Fill()) break;
      ++end;
      while (end < text_.size() && IsContinuation(text_[end])) ++end;
    }
    return Take(end, end);
  }

  std::string ReadLine() {
    ForReading();
    if (AtEnd()) RaiseRuntimeError(kInputPastEndOfFile);
    std::size_t from = at_;
    std::size_t end;
    while ((end = text_.find('\n', from)) == std::string::npos) {
      from = text_.size();
      if (!Fill()) return Take(text_.size(), text_.size());
    }
    const std::size_t lineEnd = end > at_ && text_[end - 1] == '\r' ? end - 1 : end;
    return Take(lineEnd, end + 1);
  }

  std::string ReadAll() {
    ForReading();
    if (AtEnd()) RaiseRuntimeError(kInputPastEndOfFile);
    while (Fill()) {
    }
    std::string all = at_ == 0 ? std::move(text_) : text_.substr(at_);
    text_.clear();
    at_ = 0;
    Count(all);
    return all;
  }

  void Skip(Long characters) { Read(characters); }
  void SkipLine() { ReadLine(); }

  void Write(std::string text) {
    ForWriting();
    Put(text);
  }

  void WriteLine(std::optional<std::string> text) {
    ForWriting();
    if (text) Put(*text);
    Put("\r\n");
  }

  void WriteBlankLines(Long lines) {
    if (lines < 0) RaiseRuntimeError(kInvalidProcedureCall);
    ForWriting();
    for (Long i = 0; i < lines; ++i) Put("\r\n");
  }

  void Close() {
    if (!file_->IsOpen()) return;
    try {
      Flush();
    } catch (...) {
      file_->Close();
      throw;
    }
    file_->Close();
  }

 private:
  static Long Clamp(std::int64_t value) {
    return static_cast<Long>(std::min<std::int64_t>(value, std::numeric_limits<Long>::max()));
  }

  void ForReading() const {
    if (!file_->IsOpen() || !reading_) RaiseRuntimeError(kBadFileMode);
  }
  void ForWriting() const {
    if (!file_->IsOpen() || reading_) RaiseRuntimeError(kBadFileMode);
  }

  // Whether nothing is left to read.
  bool AtEnd() { return at_ == text_.size() && !Fill(); }

  // Reads and decodes the next bytes of the file after the text held
  // (places in it stay valid); false when the file has none left.
  bool Fill() {
    if (ended_) return false;
    CheckDeadline();
    const std::size_t held = carry_.size();
    carry_.resize(held + kChunk);
    ssize_t got;
    do {
      got = ::read(file_->Get(), carry_.data() + held, kChunk);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
      carry_.resize(held);
      RaiseFileError(errno);
    }
    carry_.resize(held + static_cast<std::size_t>(got));
    ended_ = got == 0;
    const std::string_view bytes = carry_;
    const std::size_t whole =
        ended_ ? bytes.size() : encoding_ == Encoding::Utf16 ? WholeUtf16(bytes) : WholeUtf8(bytes);
    const std::size_t before = text_.size();
    if (encoding_ == Encoding::Utf16) text_ += FromUtf16Bytes(bytes.substr(0, whole));
    else if (codePage_ == kUtf8CodePage) text_ += bytes.substr(0, whole);
    else text_ += DecodeText(bytes.substr(0, whole), codePage_);
    carry_.erase(0, whole);
    return text_.size() > before || (!ended_ && Fill());
  }

  // The text from the reading place to `end`, the place moved on to `next`.
  std::string Take(std::size_t end, std::size_t next) {
    std::string taken = text_.substr(at_, end - at_);
    Count(std::string_view(text_).substr(at_, next - at_));
    at_ = next;
    // The text read goes once it is most of what is held.
    if (at_ > kChunk && at_ > text_.size() / 2) {
      text_.erase(0, at_);
      at_ = 0;
    }
    return taken;
  }

  // Moves Line and Column past `text`.
  void Count(std::string_view text) {
    const std::size_t lastBreak = text.rfind('\n');
    if (lastBreak != std::string_view::npos) {
      line_ += std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(lastBreak) + 1, '\n');
      column_ = 1;
      text.remove_prefix(lastBreak + 1);
    }
    column_ += static_cast<std::int64_t>(std::count_if(text.begin(), text.end(), [](char c) { return !IsContinuation(c); }));
  }

  void Put(std::string_view text) {
    Count(text);
    if (encoding_ == Encoding::Utf16) out_ += ToUtf16Bytes(text);
    else if (codePage_ == kUtf8CodePage) out_ += text;
    else out_ += EncodeText(text, codePage_);
    if (out_.size() >= kChunk) Flush();
  }

  // Writes what is gathered; what fails to be written is dropped.
  void Flush() {
    std::string pending = std::move(out_);
    out_.clear();
    std::string_view rest = pending;
    while (!rest.empty() && file_->IsOpen()) {
      const ssize_t wrote = ::write(file_->Get(), rest.data(), rest.size());
      if (wrote < 0 && errno == EINTR) continue;
      if (wrote < 0) RaiseFileError(errno);
      rest.remove_prefix(static_cast<std::size_t>(wrote));
    }
  }

  static const DispatchTable<TextStream>& Table() {
    static const DispatchTable<TextStream> table({
        Bind<&TextStream::get_Line>(kLine, "Line", DISPATCH_PROPERTYGET),
        Bind<&TextStream::get_Column>(kColumn, "Column", DISPATCH_PROPERTYGET),
        Bind<&TextStream::get_AtEndOfStream>(kAtEndOfStream, "AtEndOfStream", DISPATCH_PROPERTYGET),
        Bind<&TextStream::get_AtEndOfLine>(kAtEndOfLine, "AtEndOfLine", DISPATCH_PROPERTYGET),
        Bind<&TextStream::Read>(kRead, "Read", DISPATCH_METHOD, kCharacters),
        Bind<&TextStream::ReadLine>(kReadLine, "ReadLine", DISPATCH_METHOD),
        Bind<&TextStream::ReadAll>(kReadAll, "ReadAll", DISPATCH_METHOD),
        Bind<&TextStream::Write>(kWrite, "Write", DISPATCH_METHOD, kText),
        Bind<&TextStream::WriteLine>(kWriteLine, "WriteLine", DISPATCH_METHOD, kText),
        Bind<&TextStream::WriteBlankLines>(kWriteBlankLines, "WriteBlankLines", DISPATCH_METHOD, kLines),
        Bind<&TextStream::Skip>(kSkip, "Skip", DISPATCH_METHOD, kCharacters),
        Bind<&TextStream::SkipLine>(kSkipLine, "SkipLine", DISPATCH_METHOD),
        Bind<&TextStream::Close>(kClose, "Close", DISPATCH_METHOD),
    });
    return table;
  }
  static const InterfaceDesc& Description() {
    static const InterfaceDesc description{"TextStream", GUID{}, 0, "IDispatch", Table().Functions()};
    return description;
  }

  std::unique_ptr<Descriptor> file_;
  bool reading_;
  Encoding encoding_;
  int codePage_;
  std::string carry_;  // bytes read and not yet decoded: a character cut short
  std::string text_;   // decoded text; what lies before at_ has been read
  std::size_t at_ = 0;
  bool ended_ = false;  // the file has no more bytes
  std::string out_;     // bytes written and not yet on disk
  std::int64_t line_ = 1;
  std::int64_t column_ = 1;
};

}  // namespace

IOMode ToIOMode(int mode) {
  if (mode != 1 && mode != 2 && mode != 8) RaiseRuntimeError(kInvalidProcedureCall);
  return static_cast<IOMode>(mode);
}

TextFormat ToTextFormat(int format) {
  if (format != 0 && format != -1 && format != -2) RaiseRuntimeError(kInvalidProcedureCall);
  return static_cast<TextFormat>(format);
}

std::shared_ptr<IDispatch> OpenTextStream(const fs::path& file, IOMode mode, bool create, TextFormat format) {
  // Appending reads the byte-order mark that tells the form of the text there.
  const int flags = (mode == IOMode::Reading   ? O_RDONLY
                     : mode == IOMode::Writing ? O_WRONLY | O_TRUNC
                                               : O_RDWR | O_APPEND) |
                    (create ? O_CREAT : 0);
  auto descriptor = OpenFile(file, flags);
  const int fd = descriptor->Get();
  int codePage = PageCodePage();
  Encoding encoding = format == TextFormat::Unicode ? Encoding::Utf16 : Encoding::CodePage;
  std::string_view mark;
  if (mode == IOMode::Reading) {
    // A byte-order mark tells the form when the page leaves it open, and
    // is never text: it is skipped where the text is read in its form.
    const std::string head = Head(fd, kUtf8Mark.size());
    if (head.starts_with(kUtf16Mark) && format != TextFormat::Ascii) {
      encoding = Encoding::Utf16;
      ::lseek(fd, static_cast<off_t>(kUtf16Mark.size()), SEEK_SET);
    } else if (head.starts_with(kUtf8Mark) && format != TextFormat::Unicode &&
               (format == TextFormat::Default || codePage == kUtf8CodePage)) {
      codePage = kUtf8CodePage;
      ::lseek(fd, static_cast<off_t>(kUtf8Mark.size()), SEEK_SET);
    }
  } else if (mode == IOMode::Writing || ::lseek(fd, 0, SEEK_END) == 0) {
    if (encoding == Encoding::Utf16) mark = kUtf16Mark;
  } else if (format == TextFormat::Default && Head(fd, kUtf16Mark.size()) == kUtf16Mark) {
    encoding = Encoding::Utf16;
  }
  auto stream = std::make_shared<TextStream>(std::move(descriptor), mode, encoding, codePage);
  stream->Prefix(mark);
  return stream;
}

std::shared_ptr<IDispatch> CreateTextStream(const fs::path& file, bool overwrite, bool unicode) {
  auto descriptor = OpenFile(file, O_WRONLY | O_CREAT | (overwrite ? O_TRUNC : O_EXCL));
  auto stream = std::make_shared<TextStream>(std::move(descriptor), IOMode::Writing,
                                             unicode ? Encoding::Utf16 : Encoding::CodePage, PageCodePage());
  if (unicode) stream->Prefix(kUtf16Mark);
  return stream;
}

}  // namespace kelvane::host::scripting
