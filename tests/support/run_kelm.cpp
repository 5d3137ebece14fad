#include "support/run_kelm.h"

#ifdef _WIN32
#include <windows.h>

#include <cwctype>
#include <thread>

#include "platform/wide_names.h"
#else
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include "support/child_io.h"
#endif

#include <cstdlib>
#include <stdexcept>

namespace kelm_test {

const char* const UNSET = "\x01unset";

#ifdef _WIN32
namespace {

std::wstring wide(const std::string& utf8) {
  std::u16string u = kelm::utf16_from_utf8(utf8.c_str());
  return std::wstring(u.begin(), u.end());
}

// Appends one argument to a command line so that the C runtime of the child
// splits it back out unchanged: quotes around it when it holds blanks or
// quotes; backslashes doubled where they come before a quote.
void append_argument(std::wstring& line, const std::wstring& arg) {
  if (!line.empty()) line += L' ';
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    line += arg;
    return;
  }
  line += L'"';
  for (std::size_t i = 0;; ++i) {
    std::size_t backslashes = 0;
    while (i < arg.size() && arg[i] == L'\\') ++i, ++backslashes;
    if (i == arg.size()) {
      line.append(backslashes * 2, L'\\');
      break;
    }
    if (arg[i] == L'"') {
      line.append(backslashes * 2 + 1, L'\\');
    } else {
      line.append(backslashes, L'\\');
    }
    line += arg[i];
  }
  line += L'"';
}

bool same_name(const std::wstring& entry, const std::wstring& name) {
  // Variable names compare without regard to case; an entry is NAME=VALUE
  // (entries such as "=C:=C:\\" hold the drive's current directory).
  std::size_t eq = entry.find(L'=', 1);
  if (eq != name.size()) return false;
  for (std::size_t i = 0; i < eq; ++i)
    if (std::towupper(entry[i]) != std::towupper(name[i])) return false;
  return true;
}

// The test's own environment with the changes applied, as the block
// CreateProcessW takes: NAME=VALUE entries, each ended by a NUL, then a NUL.
std::wstring environment_block(const EnvList& env) {
  std::vector<std::wstring> entries;
  wchar_t* block = GetEnvironmentStringsW();
  for (const wchar_t* p = block; *p != L'\0'; p += wcslen(p) + 1) entries.emplace_back(p);
  FreeEnvironmentStringsW(block);
  for (const auto& [name, value] : env) {
    std::wstring wname = wide(name);
    std::erase_if(entries, [&](const std::wstring& e) { return same_name(e, wname); });
    if (value != UNSET) entries.push_back(wname + L"=" + wide(value));
  }
  std::wstring out;
  for (const auto& e : entries) out += e + L'\0';
  out += L'\0';
  return out;
}

void drain(HANDLE pipe, std::string* into) {
  char buf[65536];
  DWORD n = 0;
  while (ReadFile(pipe, buf, sizeof buf, &n, nullptr) && n > 0) into->append(buf, n);
}

}  // namespace

RunResult run_program(const std::string& program, const std::vector<std::string>& args,
                      const EnvList& env) {
  return run_program_in("", program, args, env);
}

RunResult run_program_in(const std::string& cwd, const std::string& program,
                         const std::vector<std::string>& args, const EnvList& env) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE out_read, out_write, err_read, err_write;
  if (!CreatePipe(&out_read, &out_write, &inherit, 0) ||
      !CreatePipe(&err_read, &err_write, &inherit, 0))
    throw std::runtime_error("CreatePipe failed");
  // Only the write ends go to the child.
  SetHandleInformation(out_read, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(err_read, HANDLE_FLAG_INHERIT, 0);
  HANDLE null_in = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                               OPEN_EXISTING, 0, nullptr);

  std::wstring wprogram = wide(program);
  std::wstring line;
  append_argument(line, wprogram);
  for (const auto& a : args) append_argument(line, wide(a));
  std::wstring block = environment_block(env);

  STARTUPINFOEXW si{};
  si.StartupInfo.cb = sizeof si;
  si.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  si.StartupInfo.hStdInput = null_in;
  si.StartupInfo.hStdOutput = out_write;
  si.StartupInfo.hStdError = err_write;
  // The child inherits its three handles and no other: a pipe of a run
  // started at the same time on another thread must not stay open in it.
  HANDLE inherited[] = {null_in, out_write, err_write};
  SIZE_T list_size = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &list_size);
  std::vector<char> list_storage(list_size);
  auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(list_storage.data());
  DWORD flags = CREATE_UNICODE_ENVIRONMENT;
  if (InitializeProcThreadAttributeList(list, 1, 0, &list_size) &&
      UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                                sizeof inherited, nullptr, nullptr)) {
    si.lpAttributeList = list;
    flags |= EXTENDED_STARTUPINFO_PRESENT;
  }
  PROCESS_INFORMATION pi{};
  std::wstring wcwd = wide(cwd);
  BOOL started = CreateProcessW(wprogram.c_str(), line.data(), nullptr, nullptr, TRUE, flags,
                                block.data(), cwd.empty() ? nullptr : wcwd.c_str(),
                                &si.StartupInfo, &pi);
  if (si.lpAttributeList != nullptr) DeleteProcThreadAttributeList(list);
  CloseHandle(out_write);
  CloseHandle(err_write);
  if (null_in != INVALID_HANDLE_VALUE) CloseHandle(null_in);
  if (!started) {
    CloseHandle(out_read);
    CloseHandle(err_read);
    throw std::runtime_error("CreateProcessW failed for " + program);
  }
  RunResult r;
  std::thread err_reader(drain, err_read, &r.err);
  drain(out_read, &r.out);
  err_reader.join();
  CloseHandle(out_read);
  CloseHandle(err_read);
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  // As a POSIX parent sees it: the low eight bits of what main returned
  // (-1, 0xFFFFFFFF here, gives 255); a crash (an exception code such as
  // 0xC0000005) as a death by SIGSEGV.
  bool crashed = code >= 0xC0000000u && code < 0xFFFFFF00u;
  r.status = crashed ? 128 + 11 : static_cast<int>(code & 0xFF);
  return r;
}
#else
StartedRun start_program(const std::string& program, const std::vector<std::string>& args,
                         const EnvList& env) {
  int in_pipe[2], out_pipe[2], err_pipe[2];
  if (pipe(in_pipe) != 0 || pipe(out_pipe) != 0 || pipe(err_pipe) != 0)
    throw std::runtime_error("pipe failed");
  // The test's own ends stay out of children that other tests start.
  for (int fd : {in_pipe[1], out_pipe[0], err_pipe[0]}) fcntl(fd, F_SETFD, FD_CLOEXEC);
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    dup2(in_pipe[0], 0);
    dup2(out_pipe[1], 1);
    dup2(err_pipe[1], 2);
    for (int fd : {in_pipe[0], in_pipe[1], out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]})
      close(fd);
    for (const auto& [name, value] : env) {
      if (value == UNSET)
        unsetenv(name.c_str());
      else
        setenv(name.c_str(), value.c_str(), 1);
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(in_pipe[0]);
  close(out_pipe[1]);
  close(err_pipe[1]);
  return StartedRun{pid, in_pipe[1], out_pipe[0], err_pipe[0]};
}

StartedRun start_kelm(const std::vector<std::string>& args, const EnvList& env) {
  return start_program(KELM_BINARY, args, env);
}

RunResult finish_run(StartedRun& run) {
  if (run.stdin_fd >= 0) close(run.stdin_fd);
  run.stdin_fd = -1;
  RunResult r;
  collect_output(run.stdout_fd, run.stderr_fd, r.out, r.err);
  r.status = wait_status(run.pid);
  return r;
}

RunResult run_program(const std::string& program, const std::vector<std::string>& args,
                      const EnvList& env) {
  StartedRun run = start_program(program, args, env);
  return finish_run(run);
}
#endif

RunResult run_kelm(const std::vector<std::string>& args, const EnvList& env) {
  return run_program(KELM_BINARY, args, env);
}

RunResult run_kelm_dump(const std::vector<std::string>& args, const EnvList& env) {
  return run_program(KELM_DUMP_BINARY, args, env);
}

std::string kelm_banner() {
  return "quorin make PDIC data tool ver 1.0\n\n"
         "convert PDIC 1gyou text -> PDIC/Unicode DIC\n\n"
         "input text SJIS/EUC/UTF-8/UTF-16 auto select. non sort OK.\n"
         "output DIC file for PDIC/Unicode ver 0.70\n\n";
}

}  // namespace kelm_test
