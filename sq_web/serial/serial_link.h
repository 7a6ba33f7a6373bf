#pragma once
// The serial link: every exchange with the device goes through here, logged in the message log.
// Callable from any thread; one exchange at a time on the port (module().exchange_mu).

#include <string>
#include <string_view>

namespace ravelin {

// Bytes one read takes at most.
inline constexpr size_t kReadMax = 2000;

// Sends one command and returns the device's raw answer ("" when none came). "" sends the
// operator's send line, logged "LOC: "; any other text is logged "WEB: ". Takes whatever the
// device sent beforehand off the line first (logged, then wiped with the log).
std::string COM_SENDEN(std::string_view txt);

// Reads what the device has sent; logs it after "COM: " when not empty.
std::string COM_LESEN();

}  // namespace ravelin
