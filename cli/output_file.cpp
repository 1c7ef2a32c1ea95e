// The output's file, written whole or not at all (see output_file.h). The
// temporary file is named "." + the output's name + ".nivora-" + 12 random
// letters, in the output's folder (so the rename stays on one file system),
// and made with O_EXCL and O_NOFOLLOW: a name planted there by someone else,
// a symbolic link included, is never opened, only stepped over.
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>

#include "cli/output_file.h"

namespace {

// The temporary file a signal handler removes: the name is complete before
// pending_set says so, and pending_set is cleared before the name changes.
char pending_name[4096];
volatile sig_atomic_t pending_set = 0;

void set_pending(const std::string& temp) {
  pending_set = 0;
  if (temp.size() >= sizeof pending_name) return;
  memcpy(pending_name, temp.c_str(), temp.size() + 1);
  pending_set = 1;
}

void on_signal(int signal_number) {
  if (pending_set) unlink(pending_name);
  _exit(128 + signal_number);
}

// 12 letters and digits, from the kernel's random source (the clock and the
// process id only where that fails).
std::string random_letters() {
  static const char letters[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  unsigned char bytes[12];
  if (getrandom(bytes, sizeof bytes, 0) != ssize_t(sizeof bytes)) {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    unsigned long mix = (unsigned long)now.tv_nsec * 2654435761u ^ (unsigned long)getpid() << 16 ^
                        (unsigned long)now.tv_sec;
    for (unsigned char& b : bytes) {
      mix = mix * 6364136223846793005ul + 1442695040888963407ul;
      b = (unsigned char)(mix >> 56);
    }
  }
  std::string out;
  for (unsigned char b : bytes) out += letters[b % 62];
  return out;
}

bool fail(const output_file* f, const char* what, int error_number, std::string* error) {
  *error = f->name + ": " + what + ": " + strerror(error_number);
  return false;
}

bool regular_file(const std::string& name, struct stat* st) {
  return stat(name.c_str(), st) == 0 && S_ISREG(st->st_mode);
}

}  // namespace

bool output_open(output_file* f, const char* name, std::string* error) {
  f->fd = -1;
  f->name = name;
  f->path = name;
  f->temp.clear();
  // Written through a symbolic link, as opening it would: the link stays.
  struct stat st;
  if (lstat(name, &st) == 0 && S_ISLNK(st.st_mode)) {
    std::unique_ptr<char, void (*)(void*)> target(realpath(name, nullptr), free);
    if (target) f->path = target.get();
  }
  const bool exists = stat(f->path.c_str(), &st) == 0;
  if (!exists && errno != ENOENT) return fail(f, "cannot open for writing", errno, error);
  if (exists && S_ISDIR(st.st_mode)) {
    *error = f->name + ": is a folder; name the output file";
    return false;
  }
  if (exists && !S_ISREG(st.st_mode)) {
    f->fd = open(f->path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    return f->fd >= 0 || fail(f, "cannot open for writing", errno, error);
  }
  // The rename would replace a file we may not write: refuse as opening would.
  if (exists && access(f->path.c_str(), W_OK) != 0)
    return fail(f, "cannot open for writing", errno, error);

  const size_t slash = f->path.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : f->path.substr(0, slash + 1);
  const std::string base = f->path.substr(slash == std::string::npos ? 0 : slash + 1);
  for (int attempt = 0; attempt < 100; ++attempt) {
    // Room for the rest within a file name's 255 bytes.
    const std::string temp = folder + "." + base.substr(0, 200) + ".nivora-" + random_letters();
    set_pending(temp);
    f->fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (f->fd >= 0) {
      f->temp = temp;
      // An output that was there keeps its permissions (a new one gets the umask's).
      if (exists) fchmod(f->fd, st.st_mode & 07777);
      return true;
    }
    const int why = errno;
    pending_set = 0;
    if (why != EEXIST) return fail(f, "cannot open for writing", why, error);
  }
  return fail(f, "cannot open for writing", EEXIST, error);
}

bool output_commit(output_file* f, std::string* error) {
  bool ok = true;
  if (f->fd >= 0 && close(f->fd) != 0) ok = fail(f, "write failed", errno, error);
  f->fd = -1;
  if (f->temp.empty()) return ok;
  if (ok && rename(f->temp.c_str(), f->path.c_str()) != 0)
    ok = fail(f, "cannot put the output in place", errno, error);
  if (!ok) unlink(f->temp.c_str());
  pending_set = 0;
  f->temp.clear();
  return ok;
}

void output_discard(output_file* f) {
  if (f->fd >= 0) close(f->fd);
  f->fd = -1;
  if (f->temp.empty()) return;
  unlink(f->temp.c_str());
  pending_set = 0;
  f->temp.clear();
}

bool output_is_input(const std::string& input, const std::string& output, std::string* error) {
  const bool same_name = input == output && input != "-";
  struct stat in, out;
  const bool in_file = input == "-" ? fstat(STDIN_FILENO, &in) == 0 && S_ISREG(in.st_mode)
                                    : regular_file(input, &in);
  const bool out_file = output == "-" ? fstat(STDOUT_FILENO, &out) == 0 && S_ISREG(out.st_mode)
                                      : regular_file(output, &out);
  if (!same_name && !(in_file && out_file && in.st_dev == out.st_dev && in.st_ino == out.st_ino))
    return false;
  const std::string in_name = input == "-" ? "standard input" : input;
  const std::string out_name = output == "-" ? "standard output" : output;
  *error = out_name + ": is the input file" + (same_name ? "" : " (" + in_name + ")") +
           "; writing it would destroy the clip";
  return true;
}

void remove_output_on_signals() {
  struct sigaction action;
  memset(&action, 0, sizeof action);
  action.sa_handler = on_signal;
  sigemptyset(&action.sa_mask);
  // A signal ignored when the process started (nohup, a background job of a
  // script) stays ignored.
  for (int s : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction before;
    if (sigaction(s, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
    sigaction(s, &action, nullptr);
  }
}
