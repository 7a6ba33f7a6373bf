#pragma once
// Taking a request apart: pure functions of the received bytes, so that they can be tested with
// tables of inputs and fuzzed without a socket.

#include <cstddef>
#include <string>
#include <string_view>

#include "sq_web/core/assoc.h"

namespace ravelin {

// A request larger than this is not answered.
inline constexpr std::size_t kMaxRequestBytes = 64 * 1024;

struct Request {
  std::string zeile1;    // the request line (carriage returns removed)
  std::string url;       // the path without the query, URL-decoded
  std::string getdata;   // the query string, URL-decoded; "" without "?"
  std::string postdata;  // the body after the first empty line, URL-decoded
  ASSOC oREQUEST;        // query parameters first, then body parameters
};

// Splits a received request: carriage returns removed everywhere; the request line is the text
// before the first line feed (empty without one); the path is its second blank-separated word,
// cut at the first "?"; the body is the text after the first empty line (without one: the rest
// from its second byte on). Path, query and body are URL-decoded each as a whole, then the
// parameters are read from query + "&" + body.
Request parse_request(std::string_view received);

// name=value pairs joined by "&" into a new list, in order; a piece that does not split into
// exactly two parts at "=" is skipped; a name already in the list gets the new value (the list's
// prefix rule decides what "already in the list" means).
ASSOC DECODE_POSTSTRING(std::string_view poststring);

// Where the bytes received so far stand.
enum class RequestProgress {
  kNeedMore,  // the head (up to the first empty line) or the announced body is not in yet
  kComplete,  // head and Content-Length body are in
  kTooLarge,  // more than kMaxRequestBytes received or announced: not to be answered
};
// An empty line ends the head with or without carriage returns. A missing or unreadable
// Content-Length means no body is waited for.
RequestProgress request_progress(std::string_view received);

// The one-line summary of a request: the path without its first character, then " POST:" and the
// body when there is one, then " GET:" and the query when there is one, then 60 blanks. Control
// characters are shown as "?" so that a request cannot break the line or steer a terminal.
std::string request_summary(const Request& req);

// The routing decision for a decoded path and the web password.
struct Route {
  bool to_dispatcher = false;  // the path begins with "/" + webpass
  std::string dispatch_path;   // the path after the prefix and the one character after it
  bool test_page = false;      // the path as left by the first check begins with the test path
};
Route route_request(std::string_view url, std::string_view webpass);

inline constexpr std::string_view kTestPath = "/mjnj8419.vum";
inline constexpr std::string_view kTestPage = "<html><body>Test Flughafen Tarp</body></html>\r\n";

// One complete response: status line, the four fixed headers, empty line, body, then one more
// CR LF that Content-Length does not count.
std::string build_response(std::string_view body, bool ok);

}  // namespace ravelin
