#include "Date.h"

#include <cstdio>

namespace platform {

Date::Date() : when_(std::time(nullptr)) {}

std::string Date::SQLDateTime() const {
  std::tm utc{};
  gmtime_r(&when_, &utc);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
  return text;
}

std::int32_t Date::Year() const {
  std::tm local{};
  localtime_r(&when_, &local);
  return local.tm_year + 1900;
}

}  // namespace platform
