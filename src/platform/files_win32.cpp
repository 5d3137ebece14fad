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

std::FILE* open_file(const char* path, const char* mode) {
  std::wstring wmode = wide(mode);
  // Never translate line ends, whatever mode the caller spelled.
  if (wmode.find(L'b') == std::wstring::npos) wmode += L'b';
  return ::_wfopen(wide(path).c_str(), wmode.c_str());
}

int create_exclusive(const char* path, std::FILE** out) {
  *out = nullptr;
  std::wstring wpath = wide(path);
  int fd = ::_wopen(wpath.c_str(), _O_RDWR | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                    _S_IREAD | _S_IWRITE);
  if (fd < 0) return errno == EEXIST ? 1 : -1;
  std::FILE* f = ::_fdopen(fd, "wb+");
  if (f == nullptr) {
    ::_close(fd);
    ::_wremove(wpath.c_str());
    return -1;
  }
  *out = f;
  return 0;
}

int remove_file(const char* path) { return ::_wremove(wide(path).c_str()) == 0 ? 0 : -1; }

int rename_noreplace(const char* from, const char* to) {
  // Without MOVEFILE_REPLACE_EXISTING the move fails when `to` exists.
  return MoveFileExW(wide(from).c_str(), wide(to).c_str(), 0) != 0 ? 0 : -1;
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
  if (type != FILE_TYPE_DISK) return FILE_OTHER;
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return FILE_DIRECTORY;
  return FILE_REGULAR;
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
