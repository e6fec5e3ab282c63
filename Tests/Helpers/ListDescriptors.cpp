// Writes the descriptors open in this process, one number a line, to the file named by argv[1]
// (or, started without arguments, by FLAGRIG_DESCRIPTORS_FILE).
// They are read with fcntl before anything is opened, so the list is what the parent passed on.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  const char* path = argc == 2 ? argv[1] : std::getenv("FLAGRIG_DESCRIPTORS_FILE");
  if (!path) return 2;
  std::string list;
  long limit = ::sysconf(_SC_OPEN_MAX);
  if (limit < 0 || limit > 65536) limit = 65536;
  for (int fd = 0; fd < limit; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1) list += std::to_string(fd) + "\n";
  }
  std::FILE* out = std::fopen(path, "w");
  if (!out) return 1;
  std::fputs(list.c_str(), out);
  return std::fclose(out) == 0 ? 0 : 1;
}
