#include "IOResult.h"

#include <cerrno>
#include <cstring>

namespace platform {

IOResult IOResult::FromErrno(std::string verb, std::string path, int err) {
  IOResult result = Fail(std::move(verb), std::move(path), std::strerror(err));
  result.error = err;
  return result;
}

bool IOResult::NotFound() const { return !ok && (error == ENOENT || error == ENOTDIR); }

std::string IOResult::Message() const {
  if (ok) return {};
  const char* noun = verb == "create folder" ? "" : " file";
  return "Cannot " + verb + noun + " " + path + ":\n" + reason + ".";
}

}  // namespace platform
