#include "sq_web/http/request.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace ravelin {
namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

Pairs pairs_of(const ASSOC& a) {
  Pairs out;
  for (const auto& [name, value] : a.arr()) out.emplace_back(name, value_text(value));
  return out;
}

TEST(ParseRequest, TakesRequestApart) {
  struct Case {
    const char* name;
    std::string raw;
    std::string zeile1, url, getdata, postdata;
    Pairs params;
  };
  const std::vector<Case> cases = {
      {"plain GET",
       "GET /mjnj8419.vum HTTP/1.1\r\nHost: x\r\n\r\n",
       "GET /mjnj8419.vum HTTP/1.1",
       "/mjnj8419.vum",
       "",
       "",
       {}},
      {"query",
       "GET /a?x=1&y=2 HTTP/1.1\r\n\r\n",
       "GET /a?x=1&y=2 HTTP/1.1",
       "/a",
       "x=1&y=2",
       "",
       {{"x", "1"}, {"y", "2"}}},
      {"query then body, body wins order and value",
       "POST /P/index.php?cl=mkf HTTP/1.1\r\nContent-Length: 12\r\n\r\nva=5&set=mod",
       "POST /P/index.php?cl=mkf HTTP/1.1",
       "/P/index.php",
       "cl=mkf",
       "va=5&set=mod",
       {{"cl", "mkf"}, {"va", "5"}, {"set", "mod"}}},
      {"same name in query and body",
       "POST /a?va=1 HTTP/1.1\r\n\r\nva=2",
       "",
       "/a",
       "va=1",
       "va=2",
       {{"va", "2"}}},
      {"decoded before splitting",
       "POST / HTTP/1.1\r\n\r\na%26b=1",
       "",
       "/",
       "",
       "a&b=1",
       {{"b", "1"}}},
      {"encoded = splits too", "GET /?a%3Db%3Dc HTTP/1.1\r\n\r\n", "", "/", "a=b=c", "", {}},
      {"path decoded", "GET /%50/x+y HTTP/1.1\r\n\r\n", "", "/P/x y", "", "", {}},
      {"only the first ? cuts",
       "GET /a?b?c=1 HTTP/1.1\r\n\r\n",
       "",
       "/a",
       "b?c=1",
       "",
       {{"b?c", "1"}}},
      {"bare LF lines",
       "GET /a HTTP/1.1\nHost: x\n\nk=v",
       "GET /a HTTP/1.1",
       "/a",
       "",
       "k=v",
       {{"k", "v"}}},
      {"CR removed from the body too",
       "POST /a HTTP/1.1\r\n\r\nk=v\r\nw",
       "",
       "/a",
       "",
       "k=v\nw",
       {{"k", "v\nw"}}},
      {"no line feed: body from the second byte", "xk=v", "", "", "", "k=v", {{"k", "v"}}},
      {"no empty line: rest from its second byte",
       "GET /a HTTP/1.1\nHost: h=1",
       "",
       "/a",
       "",
       "ost: h=1",
       {{"ost: h", "1"}}},
      {"empty request", "", "", "", "", "", {}},
      {"request line of one word", "GET\r\n\r\n", "GET", "", "", "", {}},
      {"two blanks give an empty path", "GET  /a HTTP/1.1\r\n\r\n", "", "", "", "", {}},
      {"pieces without = or with two are dropped; a= kept",
       "GET /?a&b=1=2&c= HTTP/1.1\r\n\r\n",
       "",
       "/",
       "a&b=1=2&c=",
       "",
       {{"c", ""}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Request r = parse_request(c.raw);
    if (!c.zeile1.empty()) {
      EXPECT_EQ(r.zeile1, c.zeile1);
    }
    EXPECT_EQ(r.url, c.url);
    EXPECT_EQ(r.getdata, c.getdata);
    EXPECT_EQ(r.postdata, c.postdata);
    EXPECT_EQ(pairs_of(r.oREQUEST), c.params);
  }
}

TEST(DecodePoststring, FollowsTheListsNameRule) {
  EXPECT_EQ(pairs_of(DECODE_POSTSTRING("&")), Pairs{});
  EXPECT_EQ(pairs_of(DECODE_POSTSTRING("")), Pairs{});
  // A name that begins an existing name replaces that entry's value (the list's prefix rule).
  EXPECT_EQ(pairs_of(DECODE_POSTSTRING("abc=1&a=2")), (Pairs{{"abc", "2"}}));
  // The empty name finds the first entry.
  EXPECT_EQ(pairs_of(DECODE_POSTSTRING("x=1&=9")), (Pairs{{"x", "9"}}));
}

TEST(RouteRequest, PrefixThenTestPath) {
  struct Case {
    const char* url;
    const char* pass;
    bool dispatch;
    const char* path;
    bool test;
  };
  const Case cases[] = {
      {"/mjnj8419.vum", "P", false, "", true},
      {"/mjnj8419.vumx", "P", false, "", true},
      {"/mjnj8419.vum/abc", "P", false, "", true},
      {"/MJNJ8419.vum", "P", false, "", false},
      {"/mjnj8419.vu", "P", false, "", false},
      {"/test7776.ph", "P", false, "", false},
      {"/P/index.php", "P", true, "index.php", false},
      {"/P", "P", true, "", false},
      {"/P/", "P", true, "", false},
      {"/PXindex.php", "P", true, "index.php", false},
      {"/PX/index.php", "P", true, "/index.php", false},
      {"/P//mjnj8419.vum", "P", true, "/mjnj8419.vum", true},
      {"/Pa", "Pass", false, "", false},
      {"/pass/x", "Pass", false, "", false},
      {"/Q/x", "P", false, "", false},
      {"", "P", false, "", false},
      {"/x/y", "", true, "/y", false},
      {"/", "", true, "", false},
      {"//mjnj8419.vum", "", true, "mjnj8419.vum", false},
      {"", "", false, "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.url) + " pass=" + c.pass);
    Route r = route_request(c.url, c.pass);
    EXPECT_EQ(r.to_dispatcher, c.dispatch);
    EXPECT_EQ(r.dispatch_path, c.path);
    EXPECT_EQ(r.test_page, c.test);
  }
}

TEST(RequestProgress, WaitsForHeadAndAnnouncedBody) {
  using P = RequestProgress;
  struct Case {
    std::string raw;
    P want;
  };
  const std::vector<Case> cases = {
      {"", P::kNeedMore},
      {"GET / HTTP/1.1\r\nHost: x\r\n", P::kNeedMore},
      {"GET / HTTP/1.1\r\nHost: x\r\n\r\n", P::kComplete},
      {"GET / HTTP/1.1\n\n", P::kComplete},
      {"GET / HTTP/1.1\r\n\n", P::kComplete},
      {"GET / HTTP/1.1\n\r\n", P::kComplete},
      {"POST / HTTP/1.1\r\nContent-Length: 5\r\n\r\nabcd", P::kNeedMore},
      {"POST / HTTP/1.1\r\nContent-Length: 5\r\n\r\nabcde", P::kComplete},
      {"POST / HTTP/1.1\r\ncontent-length:5\r\n\r\nabcde", P::kComplete},
      {"POST / HTTP/1.1\r\nContent-Length: 5x\r\n\r\n", P::kComplete},  // unreadable: no body
      {"POST / HTTP/1.1\r\nContent-Length: -5\r\n\r\n", P::kComplete},
      {"POST / HTTP/1.1\r\nContent-Length: 1000000\r\n\r\n", P::kTooLarge},
      {"POST / HTTP/1.1\r\nContent-Length: 99999999999999999999999999\r\n\r\n", P::kTooLarge},
      // A header after the empty line belongs to the body and announces nothing.
      {"GET / HTTP/1.1\r\n\r\nContent-Length: 9\r\n", P::kComplete},
      {std::string(kMaxRequestBytes + 1, 'a'), P::kTooLarge},
      {std::string(kMaxRequestBytes, 'a'), P::kNeedMore},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.raw.substr(0, 60));
    EXPECT_EQ(request_progress(c.raw), c.want);
  }
  // A head and body right at the limit is still taken; one byte more is not.
  const std::string head = "POST / HTTP/1.1\r\nContent-Length: ";
  auto at_limit = [&](std::size_t total) {
    for (std::size_t digits = 1; digits < 7; ++digits) {
      std::size_t body = total - head.size() - digits - 4;
      std::string n = std::to_string(body);
      if (n.size() == digits) return head + n + "\r\n\r\n" + std::string(body, 'b');
    }
    return std::string();
  };
  EXPECT_EQ(request_progress(at_limit(kMaxRequestBytes)), P::kComplete);
  EXPECT_EQ(request_progress(at_limit(kMaxRequestBytes + 1)), P::kTooLarge);
}

// Whatever way the bytes are cut into pieces, the request becomes complete only with its last
// byte, and parsing the whole gives the same result.
TEST(RequestProgress, CutAtEveryByte) {
  const std::string raw =
      "POST /P/index.php?cl=mkf HTTP/1.1\r\nHost: h\r\nContent-Length: 12\r\n\r\nva=5&set=mod";
  for (std::size_t cut = 0; cut < raw.size(); ++cut) {
    SCOPED_TRACE(cut);
    EXPECT_EQ(request_progress(raw.substr(0, cut)), RequestProgress::kNeedMore);
  }
  EXPECT_EQ(request_progress(raw), RequestProgress::kComplete);
}

TEST(RequestSummary, Format) {
  Request r = parse_request("POST /P/index.php?cl=dat HTTP/1.1\r\n\r\nva=5");
  EXPECT_EQ(request_summary(r), "P/index.php POST:va=5 GET:cl=dat" + std::string(60, ' '));
  EXPECT_EQ(request_summary(parse_request("")), std::string(60, ' '));
  // A decoded line feed or escape cannot split the line or reach the terminal.
  EXPECT_EQ(request_summary(parse_request("GET /a%0Ab%1B HTTP/1.1\r\n\r\n")),
            "a?b?" + std::string(60, ' '));
}

TEST(BuildResponse, BytesOnTheWire) {
  EXPECT_EQ(build_response(kTestPage, true),
            "HTTP/1.1 200 OK\r\nServer: Brix 0.3\r\nContent-Length: 47\r\n"
            "Content-Language: de\r\nConnection: close\r\n\r\n"
            "<html><body>Test Flughafen Tarp</body></html>\r\n\r\n");
  EXPECT_EQ(build_response("", false),
            "HTTP/1.1 501 Serverfehler\r\nServer: Brix 0.3\r\nContent-Length: 0\r\n"
            "Content-Language: de\r\nConnection: close\r\n\r\n\r\n");
  const std::string body(1234, '\0');
  const std::string r = build_response(body, true);
  EXPECT_NE(r.find("\r\nContent-Length: 1234\r\n"), std::string::npos);
  EXPECT_EQ(r.substr(r.size() - 1236), body + "\r\n");
}

}  // namespace
}  // namespace ravelin
