#include "host/objects/scripting/FileItems.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "host/objects/scripting/FileErrors.h"
#include "host/objects/scripting/FileOperations.h"
#include "host/objects/scripting/PathNames.h"
#include "host/objects/scripting/TextStream.h"
#include "host/pages/FileReach.h"
#include "host/pages/PageDeadline.h"
#include "platform/oleaut/AutomationError.h"
#include "platform/oleaut/DateTime.h"
#include "platform/oleaut/DispatchTable.h"

namespace kelvane::host::scripting {

namespace {

using namespace oleaut;
namespace fs = std::filesystem;

constexpr Long kReadOnly = 1;
constexpr Long kDirectory = 16;
constexpr Long kArchive = 32;

// A count of bytes: a Long while it fits, else a Double.
Variant ByteCount(std::uint64_t bytes) {
  if (bytes <= static_cast<std::uint64_t>(std::numeric_limits<Long>::max())) return static_cast<Long>(bytes);
  return static_cast<double>(bytes);
}

// The bytes of the files in `folder` and the folders in it, links left out.
std::uint64_t TreeSize(const fs::path& folder) {
  std::uint64_t total = 0;
  for (const FolderEntry& entry : FolderEntries(folder)) {
    CheckDeadline();
    const fs::path path = folder / entry.name;
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) continue;
    if (S_ISDIR(status.st_mode)) total += TreeSize(path);
    else if (S_ISREG(status.st_mode)) total += static_cast<std::uint64_t>(status.st_size);
  }
  return total;
}

Variant Nothing() { return Variant::Nothing(); }

enum Member : DISPID {
  kPath = DISPID_VALUE, kName = 1000, kShortPath, kShortName, kParentFolder, kAttributes, kDateCreated,
  kDateLastModified, kDateLastAccessed, kSize, kType, kDelete, kCopy, kMove, kOpenAsTextStream, kIsRootFolder,
  kFiles, kSubFolders, kCreateTextFile,
};
enum ListMember : DISPID { kItem = DISPID_VALUE, kCount = 1 };

constexpr std::array<std::string_view, 1> kValue{"Value"};
constexpr std::array<std::string_view, 1> kForce{"Force"};
constexpr std::array<std::string_view, 1> kDestination{"Destination"};
constexpr std::array<std::string_view, 2> kCopyParams{"Destination", "OverWriteFiles"};
constexpr std::array<std::string_view, 2> kOpenParams{"IOMode", "Format"};
constexpr std::array<std::string_view, 3> kCreateParams{"FileName", "Overwrite", "Unicode"};
constexpr std::array<std::string_view, 1> kKey{"Key"};

// A file or a folder; the members of the other kind raise 438.
class FileItem : public IDispatch {
 public:
  FileItem(fs::path path, bool folder) : path_(std::move(path)), folder_(folder) {}

  std::optional<DISPID> GetIDOfName(std::string_view name) const override { return Table().GetIDOfName(name); }
  const InterfaceDesc* GetTypeInfo() const override { return folder_ ? &FolderDescription() : &FileDescription(); }
  Variant Invoke(DISPID id, std::uint16_t kind, std::span<const Variant> args) override {
    const bool folderOnly = id == kIsRootFolder || id == kFiles || id == kSubFolders || id == kCreateTextFile;
    if (folderOnly != folder_ && (folderOnly || id == kOpenAsTextStream)) RaiseRuntimeError(kMemberNotFound);
    return Table().Invoke(*this, id, kind, args);
  }

  std::string get_Path() const { return path_.native(); }
  std::string get_Name() const { return path_.filename().native(); }

  void put_Name(std::string name) {
    if (name.empty() || name.find_first_of("\\/") != std::string::npos || name == "." || name == "..")
      RaiseRuntimeError(kBadFileNameOrNumber);
    const fs::path from = Reached(FileUse::Write);
    const fs::path to = ReachPath(JoinPath(from.parent_path().native(), name), FileUse::Write);
    MoveItem(from, to);
  }

  Long get_Attributes() const {
    const struct stat status = Status();
    return (IsReadOnlyMode(status.st_mode) ? kReadOnly : 0) | (folder_ ? kDirectory : kArchive);
  }

  void put_Attributes(Long attributes) {
    const fs::path path = Reached(FileUse::Write);
    const struct stat status = Status();
    const mode_t mode = (attributes & kReadOnly) != 0 ? status.st_mode & ~mode_t{0222} : status.st_mode | S_IWUSR;
    if (::chmod(path.c_str(), mode & 07777) != 0) RaiseFileError(errno, MissingKind());
  }

  Variant get_DateCreated() const {
    struct statx status {};
    if (::statx(AT_FDCWD, path_.c_str(), 0, STATX_BTIME | STATX_CTIME, &status) != 0) RaiseFileError(errno, MissingKind());
    const auto& time = (status.stx_mask & STATX_BTIME) != 0 ? status.stx_btime : status.stx_ctime;
    return LocalDate(static_cast<std::time_t>(time.tv_sec));
  }
  Variant get_DateLastModified() const { return LocalDate(Status().st_mtim.tv_sec); }
  Variant get_DateLastAccessed() const { return LocalDate(Status().st_atim.tv_sec); }

  Variant get_Size() const {
    const struct stat status = Status();
    return ByteCount(folder_ ? TreeSize(path_) : static_cast<std::uint64_t>(status.st_size));
  }

  std::string get_Type() const {
    if (folder_) return "File folder";
    std::string extension(ExtensionName(path_.native()));
    if (extension.empty()) return "File";
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; });
    return extension + " File";
  }

  // The folder holding this one: Nothing where the page may not reach it.
  Variant get_ParentFolder() const {
    const fs::path parent = path_.parent_path();
    if (parent == path_) return Nothing();
    try {
      return ObjectRef(MakeFolder(ReachPath(parent.native(), FileUse::Read)));
    } catch (const AutomationError&) {
      return Nothing();
    }
  }

  VariantBool get_IsRootFolder() const { return ToVariantBool(get_ParentFolder().If<ObjectRef>()->get() == nullptr); }

  void Delete(std::optional<VariantBool> force) {
    const bool forced = force && IsTrue(*force);
    if (folder_) DeleteFolders(path_.native(), forced);
    else DeleteFiles(path_.native(), forced);
  }

  void Copy(std::string destination, std::optional<VariantBool> overwrite) {
    const bool replace = !overwrite || IsTrue(*overwrite);
    if (folder_) CopyFolders(path_.native(), destination, replace);
    else CopyFiles(path_.native(), destination, replace);
  }

  void Move(std::string destination) {
    auto targets = folder_ ? MoveFolders(path_.native(), destination) : MoveFiles(path_.native(), destination);
    path_ = std::move(targets.front());
  }

  Variant OpenAsTextStream(std::optional<Long> mode, std::optional<Long> format) {
    const IOMode use = ToIOMode(mode.value_or(1));
    const fs::path path = Reached(use == IOMode::Reading ? FileUse::Read : FileUse::Write);
    return ObjectRef(OpenTextStream(path, use, false, ToTextFormat(format.value_or(0))));
  }

  Variant CreateTextFile(std::string name, std::optional<VariantBool> overwrite, std::optional<VariantBool> unicode) {
    const fs::path file = ReachPath(JoinPath(path_.native(), name), FileUse::Write);
    return ObjectRef(CreateTextStream(file, !overwrite || IsTrue(*overwrite), unicode && IsTrue(*unicode)));
  }

  Variant get_Files() const;
  Variant get_SubFolders() const;

 private:
  static bool IsTrue(VariantBool value) { return value != VariantBool::False; }

  Missing MissingKind() const { return folder_ ? Missing::Folder : Missing::File; }

  struct stat Status() const {
    struct stat status {};
    if (::stat(path_.c_str(), &status) != 0) RaiseFileError(errno, MissingKind());
    return status;
  }

  fs::path Reached(FileUse use) const { return ReachPath(path_.native(), use); }

  // Renames this file or folder to `to`, never over another.
  void MoveItem(const fs::path& from, const fs::path& to) {
    auto targets = folder_ ? MoveFolders(from.native(), to.native()) : MoveFiles(from.native(), to.native());
    path_ = std::move(targets.front());
  }

  static const DispatchTable<FileItem>& Table() {
    static const DispatchTable<FileItem> table({
        Bind<&FileItem::get_Path>(kPath, "Path", DISPATCH_PROPERTYGET),
        Bind<&FileItem::get_Name>(kName, "Name", DISPATCH_PROPERTYGET),
        Bind<&FileItem::put_Name>(kName, "Name", DISPATCH_PROPERTYPUT, kValue),
        Bind<&FileItem::get_Path>(kShortPath, "ShortPath", DISPATCH_PROPERTYGET),
        Bind<&FileItem::get_Name>(kShortName, "ShortName", DISPATCH_PROPERTYGET),
        Bind<&FileItem::get_ParentFolder>(kParentFolder, "ParentFolder", DISPATCH_PROPERTYGET),
        Bind<&FileItem::get_Attributes>(kAttributes, "Attributes", DISPATCH_PROPERTYGET),
        Bind<&FileItem::put_Attributes>(kAttributes, "Attributes", DISPATCH_PROPERTYPUT, kValue),
        Bind<&FileItem::get_DateCreated>(kDateCreated, "DateCreated", DISPATCH_PROPERTYGET),
        Bind<&FileItem::get_DateLastModified>(kDateLastModified, "DateLastModified", DISPATCH_PROPERTYGET),
        Bind<&FileItem::get_DateLastAccessed>(kDateLastAccessed, "DateLastAccessed", DISPATCH_PROPERTYGET),
        Bind<&FileItem::get_Size>(kSize, "Size", DISPATCH_PROPERTYGET),
        Bind<&FileItem::get_Type>(kType, "Type", DISPATCH_PROPERTYGET),
        Bind<&FileItem::Delete>(kDelete, "Delete", DISPATCH_METHOD, kForce),
        Bind<&FileItem::Copy>(kCopy, "Copy", DISPATCH_METHOD, kCopyParams),
        Bind<&FileItem::Move>(kMove, "Move", DISPATCH_METHOD, kDestination),
        Bind<&FileItem::OpenAsTextStream>(kOpenAsTextStream, "OpenAsTextStream", DISPATCH_METHOD, kOpenParams),
        Bind<&FileItem::get_IsRootFolder>(kIsRootFolder, "IsRootFolder", DISPATCH_PROPERTYGET),
        Bind<&FileItem::get_Files>(kFiles, "Files", DISPATCH_PROPERTYGET),
        Bind<&FileItem::get_SubFolders>(kSubFolders, "SubFolders", DISPATCH_PROPERTYGET),
        Bind<&FileItem::CreateTextFile>(kCreateTextFile, "CreateTextFile", DISPATCH_METHOD, kCreateParams),
    });
    return table;
  }
  static const InterfaceDesc& FileDescription() {
    static const InterfaceDesc description{"File", GUID{}, 0, "IDispatch", Table().Functions()};
    return description;
  }
  static const InterfaceDesc& FolderDescription() {
    static const InterfaceDesc description{"Folder", GUID{}, 0, "IDispatch", Table().Functions()};
    return description;
  }

  fs::path path_;
  bool folder_;
};

// The files, or the folders, in a folder when it was asked for them, by
// name in any letter case, in the order of their names.
class ItemList : public IDispatch {
 public:
  ItemList(fs::path folder, bool folders) : folder_(std::move(folder)), folders_(folders) {
    DeadlineTicker<256> ticker;
    for (FolderEntry& entry : FolderEntries(folder_)) {
      ticker.Tick();
      if (entry.kind != FolderEntry::Other) {
        // Not a link: in the folder, so within reach as it is.
        if ((entry.kind == FolderEntry::Folder) == folders) Add(std::move(entry.name), folder_ / entry.name);
        continue;
      }
      // A link leading where the page may not read is left out.
      try {
        fs::path path = ReachPath((folder_ / entry.name).native(), FileUse::Read);
        if (folders ? IsFolder(path) : IsFile(path)) Add(std::move(entry.name), std::move(path));
      } catch (const AutomationError&) {
      }
    }
    std::sort(items_.begin(), items_.end(), [](const Entry& a, const Entry& b) { return a.folded < b.folded; });
  }

  std::optional<DISPID> GetIDOfName(std::string_view name) const override { return Table().GetIDOfName(name); }
  const InterfaceDesc* GetTypeInfo() const override { return folders_ ? &FoldersDescription() : &FilesDescription(); }
  Variant Invoke(DISPID id, std::uint16_t kind, std::span<const Variant> args) override {
    return Table().Invoke(*this, id, kind, args);
  }

  Long Count() const { return static_cast<Long>(items_.size()); }

  Variant Item(std::string name) const {
    const auto exact = std::find_if(items_.begin(), items_.end(), [&](const Entry& item) { return item.name == name; });
    const std::string folded = FoldCase(name);
    const auto found = exact != items_.end() ? exact : std::find_if(items_.begin(), items_.end(), [&](const Entry& item) {
      return item.folded == folded;
    });
    if (found == items_.end()) RaiseRuntimeError(folders_ ? kPathNotFound : kFileNotFound);
    return Make(found->path);
  }

  Variant NewEnum() const {
    std::vector<Variant> objects;
    objects.reserve(items_.size());
    DeadlineTicker<256> ticker;
    for (const auto& item : items_) {
      ticker.Tick();
      objects.push_back(Make(item.path));
    }
    return ObjectRef(std::make_shared<ListEnumerator>(std::move(objects)));
  }

 private:
  void Add(std::string name, fs::path path) {
    std::string folded = FoldCase(name);
    items_.push_back({std::move(folded), std::move(name), std::move(path)});
  }

  Variant Make(const fs::path& path) const { return ObjectRef(folders_ ? MakeFolder(path) : MakeFile(path)); }

  static const DispatchTable<ItemList>& Table() {
    static const DispatchTable<ItemList> table({
        Bind<&ItemList::Item>(kItem, "Item", DISPATCH_PROPERTYGET, kKey),
        Bind<&ItemList::Count>(kCount, "Count", DISPATCH_PROPERTYGET),
        Bind<&ItemList::NewEnum>(DISPID_NEWENUM, "_NewEnum", DISPATCH_PROPERTYGET),
    });
    return table;
  }
  static const InterfaceDesc& FilesDescription() {
    static const InterfaceDesc description{"Files", GUID{}, 0, "IDispatch", Table().Functions()};
    return description;
  }
  static const InterfaceDesc& FoldersDescription() {
    static const InterfaceDesc description{"Folders", GUID{}, 0, "IDispatch", Table().Functions()};
    return description;
  }

  struct Entry {
    std::string folded;  // the name, letter case folded
    std::string name;
    fs::path path;  // reached
  };

  fs::path folder_;
  bool folders_;
  std::vector<Entry> items_;
};

Variant FileItem::get_Files() const { return ObjectRef(std::make_shared<ItemList>(path_, false)); }
Variant FileItem::get_SubFolders() const { return ObjectRef(std::make_shared<ItemList>(path_, true)); }

}  // namespace

std::shared_ptr<IDispatch> MakeFile(fs::path path) { return std::make_shared<FileItem>(std::move(path), false); }
std::shared_ptr<IDispatch> MakeFolder(fs::path path) { return std::make_shared<FileItem>(std::move(path), true); }

}  // namespace kelvane::host::scripting
