// POSIX backend of platform.h. OS errors become results here and nowhere else.
#include <dlfcn.h>
#include <fcntl.h>
#include <langinfo.h>
#include <locale.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "ferrolib/platform.h"
#include "ferrolib/system.h"

extern char** environ;

namespace ferrolib::platform {
namespace {

std::uint32_t windows_error_from_errno(int err) {
  switch (err) {
    case ENOENT:
      return win_error::kFileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
      return win_error::kPathNotFound;
    case EACCES:
    case EPERM:
      return win_error::kAccessDenied;
    case ENOMEM:
    case EAGAIN:
      return win_error::kNotEnoughMemory;
    default:
      return win_error::kGenFailure;
  }
}

bool is_executable_file(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// The first executable file `name` along PATH, as the shell would find it.
std::optional<std::string> find_in_path(const std::string& name) {
  const char* env = std::getenv("PATH");
  std::string path = env ? env : "/usr/local/bin:/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find(':', start);
    if (end == std::string::npos) end = path.size();
    std::string dir = path.substr(start, end - start);
    std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + name;
    if (is_executable_file(candidate)) return candidate;
    start = end + 1;
  }
  return std::nullopt;
}

std::string absolute(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  std::vector<char> buf(PATH_MAX);
  if (getcwd(buf.data(), buf.size()) == nullptr) return path;
  return std::string(buf.data()) + "/" + path;
}

// Starts argv[0] (a path) with argv in `directory` (empty: the caller's) and does not wait for
// it. A short-lived /bin/sh puts the program into the background and exits at once; it is reaped
// here, and the program, orphaned, is reaped by init (or the nearest subreaper), so the caller
// never collects zombies. The program gets the caller's environment, default signal handling
// and none of the caller's files: standard input, output and error are /dev/null and nothing
// above them stays open, as a program started by the Windows shell inherits no handles (and a
// caller whose output goes into a pipe is not held up by the program keeping it open).
// 0 or an errno value.
int spawn_detached(const std::vector<std::string>& argv, const std::string& directory) {
  std::vector<char*> args;
  args.push_back(const_cast<char*>("sh"));
  args.push_back(const_cast<char*>("-c"));
  args.push_back(const_cast<char*>("\"$0\" \"$@\" &"));
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  if (int rc = posix_spawn_file_actions_init(&actions)) return rc;
  if (int rc = posix_spawnattr_init(&attr)) {
    posix_spawn_file_actions_destroy(&actions);
    return rc;
  }
  int rc = 0;
  if (!directory.empty()) rc = posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
  for (int fd = 0; fd <= 2 && rc == 0; ++fd) {
    rc = posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY,
                                          0);
  }
  if (rc == 0) rc = posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  for (int sig : {SIGPIPE, SIGCHLD, SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2, SIGALRM}) {
    sigaddset(&defaults, sig);
  }
  if (rc == 0) rc = posix_spawnattr_setsigmask(&attr, &none);
  if (rc == 0) rc = posix_spawnattr_setsigdefault(&attr, &defaults);
  if (rc == 0) {
    rc = posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  }
  pid_t pid = -1;
  if (rc == 0) rc = posix_spawn(&pid, "/bin/sh", &actions, &attr, args.data(), environ);
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return rc;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return 0;
}

int lconv_char(char c) { return c == CHAR_MAX ? PosixLocaleFacts::kUnset : c; }

}  // namespace

InputFile::~InputFile() {
  if (handle_ >= 0) close(static_cast<int>(handle_));
}

bool InputFile::open(const char* path) {
  if (handle_ >= 0 || path == nullptr || *path == '\0') return false;
  // O_NONBLOCK: opening a FIFO must not wait for a writer; it is refused just below anyway.
  int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return false;
  }
  handle_ = fd;
  size_ = static_cast<std::uint64_t>(st.st_size);
  return true;
}

long long InputFile::read(void* buffer, std::size_t n) {
  if (handle_ < 0) return -1;
  for (;;) {
    ssize_t got = ::read(static_cast<int>(handle_), buffer, n);
    if (got >= 0) return got;
    if (errno != EINTR) return -1;
  }
}

bool InputFile::read_at(std::uint64_t offset, void* buffer, std::size_t n) {
  if (handle_ < 0) return false;
  auto* out = static_cast<unsigned char*>(buffer);
  while (n > 0) {
    if (offset > static_cast<std::uint64_t>(LLONG_MAX)) return false;
    ssize_t got = pread(static_cast<int>(handle_), out, n, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    out += got;
    offset += static_cast<std::uint64_t>(got);
    n -= static_cast<std::size_t>(got);
  }
  return true;
}

RegionalSettings read_user_regional_settings() {
  // Each category on its own, so that one unknown locale name does not take the other with it;
  // "" names the locale the environment gives (LC_ALL, then LC_NUMERIC or LC_MONETARY, then
  // LANG).
  PosixLocaleFacts facts;
  locale_t numeric = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(nullptr));
  locale_t monetary = newlocale(LC_MONETARY_MASK, "", static_cast<locale_t>(nullptr));
#if defined(__GLIBC__)
  // nl_langinfo_l reads the locale objects directly: neither the thread's locale nor the static
  // buffer of localeconv(), which another thread of the caller may be using while we load, is
  // touched.
  auto text = [](nl_item item, locale_t loc) { return std::string(nl_langinfo_l(item, loc)); };
  auto number = [](nl_item item, locale_t loc) { return lconv_char(*nl_langinfo_l(item, loc)); };
  if (numeric) {
    facts.decimal_point = text(RADIXCHAR, numeric);
    facts.thousands_sep = text(THOUSEP, numeric);
  }
  if (monetary) {
    facts.currency_symbol = text(CURRENCY_SYMBOL, monetary);
    facts.p_cs_precedes = number(P_CS_PRECEDES, monetary);
    facts.p_sep_by_space = number(P_SEP_BY_SPACE, monetary);
    facts.n_cs_precedes = number(N_CS_PRECEDES, monetary);
    facts.n_sep_by_space = number(N_SEP_BY_SPACE, monetary);
    facts.n_sign_posn = number(N_SIGN_POSN, monetary);
  }
#else
  // Elsewhere through localeconv() under uselocale(), which switches this thread only.
  if (numeric) {
    locale_t old = uselocale(numeric);
    const lconv* lc = localeconv();
    facts.decimal_point = lc->decimal_point ? lc->decimal_point : "";
    facts.thousands_sep = lc->thousands_sep ? lc->thousands_sep : "";
    uselocale(old);
  }
  if (monetary) {
    locale_t old = uselocale(monetary);
    const lconv* lc = localeconv();
    facts.currency_symbol = lc->currency_symbol ? lc->currency_symbol : "";
    facts.p_cs_precedes = lconv_char(lc->p_cs_precedes);
    facts.p_sep_by_space = lconv_char(lc->p_sep_by_space);
    facts.n_cs_precedes = lconv_char(lc->n_cs_precedes);
    facts.n_sep_by_space = lconv_char(lc->n_sep_by_space);
    facts.n_sign_posn = lconv_char(lc->n_sign_posn);
    uselocale(old);
  }
#endif
  if (numeric) freelocale(numeric);
  if (monetary) freelocale(monetary);
  return settings_from_posix(facts);
}

std::uint32_t shell_execute(const char* file, const char* parameters, const char* directory) {
  std::string name = file ? file : "";
  std::string dir = directory ? directory : "";
  if (name.empty()) return win_error::kFileNotFound;
  struct stat st;
  if (!dir.empty() && (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))) {
    return win_error::kDirectory;
  }
  // A name with a slash is a path (relative ones to the caller's directory); a bare name is
  // looked for in the caller's directory, then, as a program, along PATH.
  std::string path = name;
  if (stat(path.c_str(), &st) != 0) {
    int err = errno;
    std::optional<std::string> found;
    if (name.find('/') == std::string::npos) found = find_in_path(name);
    if (!found) return windows_error_from_errno(err);
    path = *found;
    if (stat(path.c_str(), &st) != 0) return windows_error_from_errno(errno);
  }
  path = absolute(path);

  std::vector<std::string> argv;
  if (S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0) {
    argv.push_back(path);
    for (auto& a : split_command_line(parameters ? parameters : "")) argv.push_back(std::move(a));
  } else {
    // A document or a folder: the desktop's default program, as the shell's default verb does.
    std::optional<std::string> opener = find_in_path("xdg-open");
    if (!opener) return win_error::kNoAssociation;
    argv = {*opener, path};
  }
  int err = spawn_detached(argv, dir);
  return err == 0 ? 0 : windows_error_from_errno(err);
}

bool message_beep(std::uint32_t type) {
  // The desktop's event sound where there is a desktop session with a player for it...
  const char* display = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if ((display && *display) || (wayland && *wayland)) {
    if (auto player = find_in_path("canberra-gtk-play")) {
      if (spawn_detached({*player, "-i", beep_sound_name(type), "-d", "ferrolib"}, "") == 0) {
        return true;
      }
    }
  }
  // ...else the bell of the controlling terminal, if there is one.
  int fd = ::open("/dev/tty", O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  ssize_t written;
  do {
    written = write(fd, "\a", 1);
  } while (written < 0 && errno == EINTR);
  close(fd);
  return written == 1;
}

void* module_function(std::uintptr_t module, const char* name) {
  // Handle 0 would be RTLD_DEFAULT to dlsym (the whole process); the caller means "no module".
  if (module == 0 || name == nullptr) return nullptr;
  return dlsym(reinterpret_cast<void*>(module), name);
}

}  // namespace ferrolib::platform
