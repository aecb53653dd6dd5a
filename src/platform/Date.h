#pragma once
// The current date and time, taken when the Date is made.
#include <cstdint>
#include <ctime>
#include <string>

namespace platform {

class Date {
 public:
  Date();  // now
  // "YYYY-MM-DD HH:MM:SS" in UTC, so that text order is time order.
  std::string SQLDateTime() const;
  // The year of the local calendar.
  std::int32_t Year() const;

 private:
  std::time_t when_;
};

}  // namespace platform
