#include <windows.h>
#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <sys/stat.h>

#include <cstring>
#include <string>

#include "platform/files.h"
#include "platform/wide_names.h"

namespace kelm {

// File names are UTF-8 inside the program; the wide API takes them as UTF-16,
// so that no name depends on the code page of the system.
static std::wstring wide(const char* s) {
  std::u16string u = utf16_from_utf8(s);
  return std::wstring(u.begin(), u.end());
}

// The C library's error number for what the system reported.
static int errno_from(DWORD error) {
  switch (error) {
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return EEXIST;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH: return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT: return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
    case ERROR_INVALID_NAME: return EINVAL;
    case ERROR_TOO_MANY_OPEN_FILES: return EMFILE;
    default: return EIO;
  }
}

// Files are opened with delete sharing, so that an interruption can remove
// the run's files while they are open: they go when the process ends.
static std::FILE* open_shared(const std::wstring& wpath, DWORD disposition, bool write, bool append,
                              const char* mode) {
  HANDLE h = CreateFileW(wpath.c_str(), write ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    errno = errno_from(GetLastError());
    return nullptr;
  }
  int flags = _O_BINARY | _O_NOINHERIT | (write ? _O_RDWR : _O_RDONLY) | (append ? _O_APPEND : 0);
  int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), flags);
  if (fd < 0) {
    CloseHandle(h);
    return nullptr;
  }
  std::FILE* f = ::_fdopen(fd, mode);
  if (f == nullptr) ::_close(fd);
  return f;
}

std::FILE* open_file(const char* path, const char* mode) {
  const std::wstring wpath = wide(path);
  // Never translate line ends, whatever mode the caller spelled.
  const bool plus = std::strchr(mode, '+') != nullptr;
  switch (mode[0]) {
    case 'r': return open_shared(wpath, OPEN_EXISTING, plus, false, plus ? "r+b" : "rb");
    case 'w': return open_shared(wpath, CREATE_ALWAYS, true, false, "w+b");
    case 'a': return open_shared(wpath, OPEN_ALWAYS, true, true, "a+b");
    default: return nullptr;
  }
}

int create_exclusive(const char* path, std::FILE** out) {
  *out = open_shared(wide(path), CREATE_NEW, true, false, "w+b");
  if (*out != nullptr) return 0;
  return errno == EEXIST ? 1 : -1;
}

int remove_file(const char* path) { return ::_wremove(wide(path).c_str()) == 0 ? 0 : -1; }

int rename_noreplace(const char* from, const char* to) {
  // Without MOVEFILE_REPLACE_EXISTING the move fails when `to` exists.
  return MoveFileExW(wide(from).c_str(), wide(to).c_str(), 0) != 0 ? 0 : -1;
}

int replace_file(const char* from, const char* to) {
  // A target that another program holds open makes the move fail.
  return MoveFileExW(wide(from).c_str(), wide(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0
             ? 0
             : -1;
}

std::string link_target(const char* path) { return path; }

std::string directory_of(const std::string& path) {
  const std::size_t sep = path.find_last_of("\\/");
  if (sep != std::string::npos) return path.substr(0, sep + 1);
  // "C:name" lies in the current directory of drive C.
  if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2);
  return std::string();
}

void copy_permissions(const char*, const char*) {}

bool file_writable(const char* path) {
  const DWORD attributes = GetFileAttributesW(wide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) == 0;
}

int file_kind(const char* path) {
  std::wstring wpath = wide(path);
  DWORD attributes = GetFileAttributesW(wpath.c_str());
  // Devices (NUL, CON, COM1) carry the attributes of an ordinary file, and
  // pipes none at all: only the type of an open handle tells them apart.
  HANDLE h = CreateFileW(wpath.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE)
    return attributes == INVALID_FILE_ATTRIBUTES ? FILE_MISSING : FILE_OTHER;
  DWORD type = GetFileType(h);
  CloseHandle(h);
  if (type == FILE_TYPE_PIPE) return FILE_PIPE;
  if (type != FILE_TYPE_DISK) return FILE_OTHER;
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return FILE_DIRECTORY;
  return FILE_REGULAR;
}

unsigned long long file_size(const char* path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(wide(path).c_str(), GetFileExInfoStandard, &data)) return 0;
  if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return 0;
  return (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

int standard_input_kind() {
  HANDLE h = GetStdHandle(STD_INPUT_HANDLE);
  if (h == INVALID_HANDLE_VALUE || h == nullptr) return FILE_MISSING;
  switch (GetFileType(h)) {
    case FILE_TYPE_DISK: return FILE_REGULAR;
    case FILE_TYPE_PIPE: return FILE_PIPE;
    default: return FILE_OTHER;
  }
}

std::FILE* standard_input() {
  ::_setmode(::_fileno(stdin), _O_BINARY);
  return stdin;
}

// Volume serial number and file index name one file, whatever path leads to it.
static bool file_identity(const char* path, BY_HANDLE_FILE_INFORMATION* info) {
  HANDLE h = CreateFileW(wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  BOOL ok = GetFileInformationByHandle(h, info);
  CloseHandle(h);
  return ok != 0;
}

bool same_file(const char* a, const char* b) {
  BY_HANDLE_FILE_INFORMATION ia, ib;
  if (!file_identity(a, &ia) || !file_identity(b, &ib)) return false;
  return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
         ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

}  // namespace kelm
