// Files through the Win32 API. Names arrive in code page 1251 and are
// converted to UTF-16 here, so behaviour does not depend on the system's
// ANSI code page. Failures leave the Win32 last error as the calls set it.
#include "platform/files.h"

#include <cstring>
#include <string>
#include <vector>

#include "platform/last_error.h"
#include "platform/win32/text_convert.h"
#include "platform/win32/windows_api.h"

namespace nc::platform {

namespace {

HANDLE Handle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

// A DACL with one entry, full access for the current user, not inheriting
// from the folder: what a secret file gets instead of the folder's defaults.
class OwnerOnlySecurity {
 public:
  bool Build() {
    HANDLE token = nullptr;
    if (!::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, &token) &&
        !::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
      return false;
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    user_.resize(size);
    bool ok =
        size != 0 && ::GetTokenInformation(token, TokenUser, user_.data(), size, &size) != FALSE;
    DWORD error = ::GetLastError();
    ::CloseHandle(token);
    if (!ok) {
      ::SetLastError(error);
      return false;
    }
    PSID sid = reinterpret_cast<TOKEN_USER*>(user_.data())->User.Sid;
    acl_.resize(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + ::GetLengthSid(sid));
    auto* acl = reinterpret_cast<ACL*>(acl_.data());
    if (!::InitializeAcl(acl, static_cast<DWORD>(acl_.size()), ACL_REVISION) ||
        !::AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, sid) ||
        !::InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) ||
        !::SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE) ||
        !::SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
      return false;
    attributes_.nLength = sizeof attributes_;
    attributes_.lpSecurityDescriptor = &descriptor_;
    attributes_.bInheritHandle = FALSE;
    return true;
  }
  SECURITY_ATTRIBUTES* attributes() { return &attributes_; }

 private:
  std::vector<unsigned char> user_;
  std::vector<unsigned char> acl_;  // DWORD-aligned by the allocator
  SECURITY_DESCRIPTOR descriptor_ = {};
  SECURITY_ATTRIBUTES attributes_ = {};
};

// A name longer than the name buffers is refused as Windows refuses one
// beyond MAX_PATH, whatever the system's long-path setting.
bool NameTooLong(const char* path) {
  if (std::strlen(path) <= kMaxPath) return false;
  ::SetLastError(ERROR_PATH_NOT_FOUND);
  return true;
}

FileHandle Create(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD flags,
                  SECURITY_ATTRIBUTES* security = nullptr) {
  if (NameTooLong(path)) return kInvalidFile;
  std::wstring name = win32::Widen(path);
  HANDLE handle = ::CreateFileW(name.c_str(), access, share, security, disposition, flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return kInvalidFile;
  // Only disk files are data files here: device names such as NUL or COM1
  // are refused, as the POSIX build refuses anything but a regular file.
  if (::GetFileType(handle) != FILE_TYPE_DISK) {
    ::CloseHandle(handle);
    ::SetLastError(ERROR_ACCESS_DENIED);
    return kInvalidFile;
  }
  return reinterpret_cast<FileHandle>(handle);
}

}  // namespace

FileHandle OpenForRead(const char* path) {
  return Create(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING,
                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN);
}

FileHandle CreateAlways(const char* path) {
  return Create(path, GENERIC_WRITE, 0, CREATE_ALWAYS,
                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN);
}

FileHandle CreateNewFile(const char* path, bool ownerOnly) {
  OwnerOnlySecurity security;
  if (ownerOnly && !security.Build()) return kInvalidFile;
  return Create(path, GENERIC_WRITE, 0, CREATE_NEW,
                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN,
                ownerOnly ? security.attributes() : nullptr);
}

void SetFinalPermissions(FileHandle, const char*, bool) {}

void CloseFile(FileHandle file) {
  if (file == kInvalidFile) return;
  DWORD error = ::GetLastError();  // closing must not disturb a pending error
  ::CloseHandle(Handle(file));
  ::SetLastError(error);
}

bool ReadFile(FileHandle file, void* buffer, std::uint32_t size, std::uint32_t* done) {
  std::uint32_t total = 0;
  auto* bytes = static_cast<unsigned char*>(buffer);
  bool ok = true;
  while (total < size) {
    DWORD got = 0;
    if (!::ReadFile(Handle(file), bytes + total, size - total, &got, nullptr)) {
      ok = false;
      break;
    }
    if (got == 0) break;  // end of file
    total += got;
  }
  if (done) *done = total;
  return ok;
}

bool WriteFile(FileHandle file, const void* buffer, std::uint32_t size, std::uint32_t* done) {
  std::uint32_t total = 0;
  const auto* bytes = static_cast<const unsigned char*>(buffer);
  bool ok = true;
  while (total < size) {
    DWORD put = 0;
    if (!::WriteFile(Handle(file), bytes + total, size - total, &put, nullptr)) {
      ok = false;
      break;
    }
    if (put == 0) {  // no progress and no error: report a full disk
      ::SetLastError(ERROR_DISK_FULL);
      ok = false;
      break;
    }
    total += put;
  }
  if (done) *done = total;
  return ok;
}

bool SeekFile(FileHandle file, std::int64_t offset, SeekOrigin origin, std::uint64_t* position) {
  DWORD method = origin == SeekOrigin::Begin     ? FILE_BEGIN
                 : origin == SeekOrigin::Current ? FILE_CURRENT
                                                 : FILE_END;
  LARGE_INTEGER distance;
  distance.QuadPart = offset;
  LARGE_INTEGER at;
  if (!::SetFilePointerEx(Handle(file), distance, &at, method)) return false;
  if (position) *position = static_cast<std::uint64_t>(at.QuadPart);
  return true;
}

bool SetEndOfFile(FileHandle file) { return ::SetEndOfFile(Handle(file)) != FALSE; }

bool GetFileSize(FileHandle file, std::uint64_t* size) {
  LARGE_INTEGER value;
  if (!::GetFileSizeEx(Handle(file), &value)) return false;
  *size = static_cast<std::uint64_t>(value.QuadPart);
  return true;
}

bool FlushFile(FileHandle file) { return ::FlushFileBuffers(Handle(file)) != FALSE; }

bool FileExists(const char* path) {
  if (NameTooLong(path)) return false;
  return ::GetFileAttributesW(win32::Widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

namespace {

// The identity of an existing file (volume and index), or false.
bool IdentityOf(const std::wstring& name, BY_HANDLE_FILE_INFORMATION* info) {
  HANDLE file =
      ::CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool ok = ::GetFileInformationByHandle(file, info) != FALSE;
  ::CloseHandle(file);
  return ok;
}

std::wstring FullPathOf(const std::wstring& name) {
  wchar_t buffer[MAX_PATH * 2];
  const DWORD length = ::GetFullPathNameW(name.c_str(), MAX_PATH * 2, buffer, nullptr);
  if (length == 0 || length >= MAX_PATH * 2) return std::wstring();
  return std::wstring(buffer, length);
}

}  // namespace

bool SameOutputFile(const char* first, const char* second) {
  const DWORD saved = ::GetLastError();
  const std::wstring a = win32::Widen(first), b = win32::Widen(second);
  BY_HANDLE_FILE_INFORMATION x{}, y{};
  const bool firstExists = IdentityOf(a, &x);
  const bool secondExists = IdentityOf(b, &y);
  bool same = false;
  if (firstExists && secondExists) {
    same = x.dwVolumeSerialNumber == y.dwVolumeSerialNumber &&
           x.nFileIndexHigh == y.nFileIndexHigh && x.nFileIndexLow == y.nFileIndexLow;
  } else if (!firstExists && !secondExists) {
    // Windows names are compared without regard to case.
    const std::wstring p = FullPathOf(a), q = FullPathOf(b);
    same = !p.empty() && ::lstrcmpiW(p.c_str(), q.c_str()) == 0;
  }
  ::SetLastError(saved);
  return same;
}

bool DeleteFile(const char* path) { return ::DeleteFileW(win32::Widen(path).c_str()) != FALSE; }

bool ReplaceFile(const char* from, const char* to) {
  if (NameTooLong(to)) return false;
  return ::MoveFileExW(win32::Widen(from).c_str(), win32::Widen(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

bool RenameWithoutReplacing(const char* from, const char* to) {
  if (NameTooLong(to)) return false;
  // Without MOVEFILE_REPLACE_EXISTING the move fails with
  // ERROR_ALREADY_EXISTS when `to` exists, in the same step.
  return ::MoveFileExW(win32::Widen(from).c_str(), win32::Widen(to).c_str(),
                       MOVEFILE_WRITE_THROUGH) != FALSE;
}

// A symbolic link here is replaced as the destination itself (the rename
// takes the link's place); links are followed on POSIX only.
bool FindOutputTarget(const char* destination, std::string* target, bool* exists) {
  *exists = false;
  target->clear();
  if (NameTooLong(destination)) return false;
  std::wstring name = win32::Widen(destination);
  DWORD attributes = ::GetFileAttributesW(name.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    if (::GetLastError() != ERROR_FILE_NOT_FOUND) return false;
    *target = destination;  // a new file; its folder is tried when it is created
    return true;
  }
  // A folder, or a file marked read-only: not replaced, although a rename
  // could replace the file.
  if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0) {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  // A device name (NUL, COM1) or a pipe is no disk file.
  HANDLE handle =
      ::CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  DWORD type = ::GetFileType(handle);
  ::CloseHandle(handle);
  if (type != FILE_TYPE_DISK) {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  *target = destination;
  *exists = true;
  return true;
}

}  // namespace nc::platform
