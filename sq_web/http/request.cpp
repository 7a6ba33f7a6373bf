#include "sq_web/http/request.h"

#include <algorithm>
#include <cctype>

#include "sq_web/core/text.h"

namespace ravelin {

Request parse_request(std::string_view received) {
  Request req;
  std::string anfrage;
  anfrage.reserve(received.size());
  for (char c : received)
    if (c != '\r') anfrage += c;

  const auto lf = anfrage.find('\n');
  if (lf != std::string::npos) {
    req.zeile1 = anfrage.substr(0, lf);
    anfrage.erase(0, lf + 1);
  }

  auto words = SPLIT(req.zeile1, " ");
  words.emplace_back();
  std::string url = words[1];

  std::string getdata;
  if (const auto q = url.find('?'); q != std::string::npos) {
    getdata = url.substr(q + 1);
    url.erase(q);
  }

  std::string postdata;
  if (const auto blank = anfrage.find("\n\n"); blank != std::string::npos) {
    postdata = anfrage.substr(blank + 2);
  } else if (!anfrage.empty()) {
    postdata = anfrage.substr(1);
  }

  req.url = URL_DECODE(url);
  req.postdata = URL_DECODE(postdata);
  req.getdata = URL_DECODE(getdata);
  req.oREQUEST = DECODE_POSTSTRING(req.getdata + "&" + req.postdata);
  return req;
}

ASSOC DECODE_POSTSTRING(std::string_view poststring) {
  ASSOC list;
  for (const auto& piece : SPLIT(poststring, "&")) {
    auto pair = SPLIT(piece, "=");
    if (pair.size() != 2) continue;
    list.s(pair[0], Value(pair[1]));
  }
  return list;
}

namespace {

bool starts_with_nocase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(s[i])) !=
        std::tolower(static_cast<unsigned char>(prefix[i])))
      return false;
  }
  return true;
}

// The Content-Length value of the head's header lines; 0 when there is none or it is not a plain
// decimal number. Values too large to matter are clamped above the request limit.
std::size_t content_length(std::string_view head) {
  std::size_t pos = 0;
  bool first = true;
  while (pos < head.size()) {
    auto end = head.find('\n', pos);
    if (end == std::string_view::npos) end = head.size();
    std::string_view line = head.substr(pos, end - pos);
    pos = end + 1;
    if (first) {  // the request line
      first = false;
      continue;
    }
    constexpr std::string_view kName = "content-length:";
    if (!starts_with_nocase(line, kName)) continue;
    std::string_view v = line.substr(kName.size());
    while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.remove_prefix(1);
    while (!v.empty() && (v.back() == ' ' || v.back() == '\t' || v.back() == '\r'))
      v.remove_suffix(1);
    if (v.empty()) return 0;
    std::size_t n = 0;
    for (char c : v) {
      if (c < '0' || c > '9') return 0;
      n = n * 10 + static_cast<std::size_t>(c - '0');
      if (n > kMaxRequestBytes) return kMaxRequestBytes + 1;
    }
    return n;
  }
  return 0;
}

}  // namespace

RequestProgress request_progress(std::string_view received) {
  if (received.size() > kMaxRequestBytes) return RequestProgress::kTooLarge;
  // The head ends at a line feed followed, after any carriage returns, by another line feed.
  std::size_t body_start = std::string_view::npos;
  for (std::size_t i = received.find('\n'); i != std::string_view::npos;
       i = received.find('\n', i + 1)) {
    std::size_t j = i + 1;
    while (j < received.size() && received[j] == '\r') ++j;
    if (j < received.size() && received[j] == '\n') {
      body_start = j + 1;
      break;
    }
  }
  if (body_start == std::string_view::npos) return RequestProgress::kNeedMore;
  const std::size_t announced = content_length(received.substr(0, body_start));
  if (body_start + announced > kMaxRequestBytes) return RequestProgress::kTooLarge;
  return received.size() - body_start >= announced ? RequestProgress::kComplete
                                                   : RequestProgress::kNeedMore;
}

std::string request_summary(const Request& req) {
  std::string line = req.url.empty() ? std::string() : req.url.substr(1);
  if (!req.postdata.empty()) line += " POST:" + req.postdata;
  if (!req.getdata.empty()) line += " GET:" + req.getdata;
  for (char& c : line) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7f) c = '?';
  }
  line.append(60, ' ');
  return line;
}

Route route_request(std::string_view url, std::string_view webpass) {
  Route route;
  std::string path(url);
  const std::string sollpfad = "/" + std::string(webpass);
  if (path.starts_with(sollpfad)) {
    route.to_dispatcher = true;
    // The prefix and the one character after it go, whatever that character is.
    path = path.size() > sollpfad.size() + 1 ? path.substr(sollpfad.size() + 1) : std::string();
    route.dispatch_path = path;
  }
  route.test_page = path.starts_with(kTestPath);
  return route;
}

std::string build_response(std::string_view body, bool ok) {
  std::string r = ok ? "HTTP/1.1 200 OK\r\n" : "HTTP/1.1 501 Serverfehler\r\n";
  r += "Server: Brix 0.3\r\n";
  r += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  r += "Content-Language: de\r\n";
  r += "Connection: close\r\n";
  r += "\r\n";
  r += body;
  r += "\r\n";
  return r;
}

}  // namespace ravelin
