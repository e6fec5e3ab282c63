#include <gtest/gtest.h>

#include "../Account/AccountTest.h"
#include "Flagrig/Diagnostics/DiagnosticUploader.h"
#include "Flagrig/Diagnostics/Log.h"
#include "Platform/Foundation/Bundle.h"
#include "Platform/Foundation/DateFormats.h"
#include "Platform/Foundation/ProcessInfo.h"
#include "Platform/Foundation/UnicodeText.h"
#include "Platform/Network/URLError.h"

namespace flagrig::testing {
namespace {

using platform::sim::SimHTTPAnswer;

// One part of a multipart body: its header lines and its content.
struct Part {
  std::vector<std::string> headers;
  std::string content;
};

// Splits a multipart/form-data body the way a server does: by the boundary of the
// Content-Type header, each part's headers up to the blank line, then its content.
std::vector<Part> parseMultipart(const std::string& contentType, const std::string& body) {
  const std::string prefix = "multipart/form-data; boundary=";
  EXPECT_TRUE(contentType.starts_with(prefix)) << contentType;
  const std::string delimiter = "--" + contentType.substr(prefix.size());
  std::vector<Part> parts;
  EXPECT_TRUE(body.starts_with(delimiter + "\r\n"));
  EXPECT_TRUE(body.ends_with("\r\n" + delimiter + "--\r\n")) << "closing delimiter";
  std::size_t at = delimiter.size() + 2;
  while (true) {
    auto next = body.find("\r\n" + delimiter, at);
    if (next == std::string::npos) break;
    std::string raw = body.substr(at, next - at);
    auto blank = raw.find("\r\n\r\n");
    EXPECT_NE(blank, std::string::npos);
    Part part;
    std::string head = raw.substr(0, blank);
    for (std::size_t start = 0; start <= head.size();) {
      auto end = head.find("\r\n", start);
      if (end == std::string::npos) end = head.size();
      part.headers.push_back(head.substr(start, end - start));
      start = end + 2;
    }
    part.content = raw.substr(blank + 4);
    parts.push_back(std::move(part));
    at = next + 2 + delimiter.size();
    if (body.compare(at, 2, "--") == 0) break;
    at += 2;
  }
  return parts;
}

std::uint32_t le32(const std::string& s, std::size_t at) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(s[at])) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + 1])) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + 2])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + 3])) << 24;
}
std::uint16_t le16(const std::string& s, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(s[at]) |
                                    static_cast<unsigned char>(s[at + 1]) << 8);
}

// The single stored entry of a zip archive: its name and data; checks the end record's count.
std::pair<std::string, std::string> onlyZipEntry(const std::string& zip) {
  EXPECT_GE(zip.size(), 52u);
  EXPECT_EQ(le32(zip, 0), 0x04034b50u);
  const auto size = le32(zip, 18);
  const auto nameLength = le16(zip, 26);
  const auto extraLength = le16(zip, 28);
  const std::size_t end = zip.size() - 22;
  EXPECT_EQ(le32(zip, end), 0x06054b50u);
  EXPECT_EQ(le16(zip, end + 10), 1) << "one entry";
  return {zip.substr(30, nameLength), zip.substr(30 + nameLength + extraLength, size)};
}

class DiagnosticUploaderTest : public AccountTest {
 protected:
  static constexpr const char* kUpload = "https://account.test/diagnostics";

  void signIn(const std::string& vas = "vas_report") { signInWithSessionToken(vas); }
  // The outcome of one manual upload against `answer`.
  std::shared_ptr<Outcome<std::string>> upload(SimHTTPAnswer answer) {
    if (!answering_) {
      answering_ = true;
      sim().http->respond("POST", kUpload, [this](const platform::HTTPRequest&) { return next_; });
    }
    next_ = std::move(answer);
    auto out = start(DiagnosticUploader::shared().uploadManual());
    runUntilIdle();
    return out;
  }
  bool answering_ = false;
  SimHTTPAnswer next_;

  static std::optional<DiagnosticError> diagnosticError(const std::exception_ptr& error) {
    try {
      if (error) std::rethrow_exception(error);
    } catch (const DiagnosticError& e) {
      return e;
    } catch (...) {
    }
    return std::nullopt;
  }
};

TEST_F(DiagnosticUploaderTest, TheServiceAnswerDecidesTheOutcome) {
  signIn();
  const std::string fallback = "Something went wrong. Please try again.";
  const std::string malformed = "The diagnostics server returned an unexpected response.";
  struct Case {
    SimHTTPAnswer answer;
    std::optional<std::string> code;
    std::string errorText;
  };
  const std::vector<Case> cases{
      {SimHTTPAnswer::json(201, R"({"short_code":"K7Q2"})"), "K7Q2", ""},
      {SimHTTPAnswer::json(200, ""), std::nullopt, malformed},
      {SimHTTPAnswer::json(200, R"({"short_code":42})"), std::nullopt, malformed},
      {SimHTTPAnswer::json(200, R"({"short_code":""})"), std::nullopt, malformed},
      {SimHTTPAnswer::json(200, R"(["K7Q2"])"), std::nullopt, malformed},
      {SimHTTPAnswer::json(400, R"({"error":"Report too large","message":"m"})"), std::nullopt,
       "Report too large"},
      {SimHTTPAnswer::json(400, R"({"error":7,"message":"Try later"})"), std::nullopt, "Try later"},
      {SimHTTPAnswer::status(500, "<html>oops</html>"), std::nullopt, fallback},
      {SimHTTPAnswer::json(503, R"({"error":"\u0007\r\n\t"})"), std::nullopt, fallback},
      {SimHTTPAnswer::notHTTP(), std::nullopt,
       "Diagnostics are temporarily unavailable. Please try again."},
  };
  for (const auto& c : cases) {
    auto out = upload(c.answer);
    ASSERT_TRUE(out->done);
    if (c.code) {
      EXPECT_FALSE(out->error);
      EXPECT_EQ(out->value, c.code);
    } else {
      auto error = diagnosticError(out->error);
      ASSERT_TRUE(error) << c.errorText;
      EXPECT_EQ(error->description(), c.errorText);
    }
  }
}

TEST_F(DiagnosticUploaderTest, TheServicesTextIsCappedAndFreeOfControlCharacters) {
  signIn();
  std::string text = "Line one\nline two\x1b[31m\u0085";
  for (int i = 0; i < 300; ++i) text += "\u00e9";
  platform::JSON body = {{"error", text}};
  auto out = upload(SimHTTPAnswer::json(422, platform::JSONSerialization::serialize(body)));
  auto error = diagnosticError(out->error);
  ASSERT_TRUE(error);
  auto shown = error->description();
  EXPECT_EQ(platform::UnicodeText::characterCount(shown), 200u);
  EXPECT_TRUE(shown.starts_with("Line oneline two[31m\u00e9")) << shown;
  for (unsigned char c : shown) EXPECT_TRUE(c >= 0x20 && c != 0x7F);
}

TEST_F(DiagnosticUploaderTest, ATransportFailureReachesTheCallerUnchanged) {
  signIn();
  auto out = upload(SimHTTPAnswer::failing(platform::URLError::notConnectedToInternet));
  ASSERT_TRUE(out->error);
  try {
    std::rethrow_exception(out->error);
  } catch (const platform::URLError& error) {
    EXPECT_EQ(error.code(), platform::URLError::notConnectedToInternet);
  } catch (...) {
    ADD_FAILURE() << "not the session's error";
  }
}

TEST_F(DiagnosticUploaderTest, NotSignedInSendsNothing) {
  storeSession();  // a stored session alone is not a signed-in user
  auto out = start(DiagnosticUploader::shared().uploadManual());
  runUntilIdle();
  EXPECT_EQ(diagnosticError(out->error), DiagnosticError::notSignedIn());
  EXPECT_EQ(diagnosticError(out->error)->description(),
            "Sign in to Flagrig before sending a report.");
  EXPECT_TRUE(requestsToURL(kUpload).empty());
}

TEST_F(DiagnosticUploaderTest, OneManualReportAtATime) {
  signIn();
  auto first = upload(SimHTTPAnswer::json(201, R"({"short_code":"A1"})").holding());
  EXPECT_FALSE(first->done);
  auto second = start(DiagnosticUploader::shared().uploadManual());
  runUntilIdle();
  EXPECT_EQ(diagnosticError(second->error), DiagnosticError::alreadyInFlight());
  ASSERT_TRUE(sim().http->releaseHeld());
  runUntilIdle();
  EXPECT_EQ(first->value, "A1") << "the running one is unaffected";
  auto failing = upload(SimHTTPAnswer::json(500, "{}"));
  EXPECT_TRUE(failing->error);
  auto third = upload(SimHTTPAnswer::json(201, R"({"short_code":"B2"})"));
  EXPECT_EQ(third->value, "B2") << "the guard is released after a failure too";
  EXPECT_EQ(requestsToURL(kUpload).size(), 3u);
}

TEST_F(DiagnosticUploaderTest, TheRequestIsTwoPartsWithTheMetadataAndTheReportZip) {
  signIn("vas_abc");
  Log::warn("diagnostics", "disk nearly full");
  DiagnosticLogBuffer::shared().add("info", "lifecycle", "App launched (v1.0.0)");
  auto out = upload(SimHTTPAnswer::json(201, R"({"short_code":"Z9"})"));
  ASSERT_EQ(out->value, "Z9");

  auto requests = requestsToURL(kUpload);
  ASSERT_EQ(requests.size(), 1u);
  const auto& request = requests[0];
  EXPECT_EQ(request.httpMethod, "POST");
  EXPECT_EQ(request.timeoutInterval, 30.0);
  EXPECT_EQ(request.cachePolicy, platform::URLRequestCachePolicy::reloadIgnoringLocalCacheData);
  EXPECT_EQ(request.value("Authorization"), "Bearer vas_abc");
  auto contentType = request.value("Content-Type").value_or("");
  auto boundary = contentType.substr(contentType.find('=') + 1);
  EXPECT_TRUE(boundary.starts_with("Boundary-"));
  EXPECT_TRUE(platform::UUID::parse(boundary.substr(9)));
  EXPECT_EQ(boundary.substr(9), platform::UnicodeText::uppercased(boundary.substr(9)));

  auto parts = parseMultipart(contentType, bodyText(request));
  ASSERT_EQ(parts.size(), 2u);
  EXPECT_EQ(parts[0].headers,
            (std::vector<std::string>{R"(Content-Disposition: form-data; name="metadata")",
                                      "Content-Type: text/plain"}));
  const auto seconds = platform::DateFormats::unixSeconds(platform::env().clock->now());
  EXPECT_EQ(parts[1].headers,
            (std::vector<std::string>{
                R"(Content-Disposition: form-data; name="blob"; filename="flagrig-mac-)" +
                    std::to_string(seconds) + R"(.zip")",
                "Content-Type: application/zip"}));

  auto metadata = platform::JSONSerialization::parse(parts[0].content);
  EXPECT_EQ(metadata, platform::JSON::parse(
                          R"j({"kind":"manual","session_id":null,"client_kind":"flagrig-mac",)j"
                          R"j("client_version":"1.0.0","client_role":null,)j"
                          R"j("os_version":"Version 6.1.0 (Simulated Linux, kernel 6.1.0-sim)",)j"
                          R"j("terminate_reason":null,"codec":null,"extra":{}})j"));

  auto [name, data] = onlyZipEntry(parts[1].content);
  EXPECT_EQ(name, "diagnostic.json");
  auto report = platform::JSONSerialization::parse(data);
  EXPECT_EQ(report["schema_version"], 1);
  EXPECT_EQ(report["captured_at"],
            platform::DateFormats::iso8601(platform::env().clock->now(),
                                           platform::DateFormats::FractionalSeconds::included));
  EXPECT_EQ(report["stats"],
            platform::JSON::parse(R"({"app":{"version":"1.0.0","platform":"flagrig-mac",)"
                                  R"("session_id":null},"extra":{}})"));
  // The ring, oldest first, as the log holds it.
  const auto ring = DiagnosticLogBuffer::shared().logBufferJSON();
  ASSERT_EQ(report["log_buffer"].size(), ring.size());
  ASSERT_GE(ring.size(), 2u);
  for (std::size_t i = 0; i < ring.size(); ++i) {
    EXPECT_EQ(report["log_buffer"][i]["msg"], *ring[i].find("msg")->asString());
    EXPECT_EQ(report["log_buffer"][i]["ts"], *ring[i].find("ts")->asString());
  }
}

TEST_F(DiagnosticUploaderTest, MetadataCutsStayWithinTheirBytesAndNeverSplitACharacter) {
  // 66 ASCII bytes and then a two-byte character across the 64-byte limit.
  std::string version(63, '1');
  version += "\u00e9\u00e9\u00e9";  // bytes 64 to 69
  ASSERT_EQ(version.size(), 69u);
  auto info = platform::Value::Dictionary{{"CFBundleShortVersionString", platform::Value(version)}};
  platform::env().bundle->setInfoDictionary(platform::Value(info));
  auto fields = platform::env().processInfo->fields();
  fields.operatingSystemVersionString = std::string(127, 'v') + "\u20ac\u20ac";
  platform::env().processInfo->setFields(fields);

  auto metadata =
      platform::JSONSerialization::parse(DiagnosticUploader::metadataJSON("manual", std::nullopt));
  auto clientVersion = metadata["client_version"].get<std::string>();
  EXPECT_EQ(clientVersion, std::string(63, '1'));
  auto os = metadata["os_version"].get<std::string>();
  EXPECT_EQ(os, std::string(127, 'v'));
  EXPECT_TRUE(platform::UnicodeText::isValidUTF8(clientVersion));

  // A cut exactly on a character boundary keeps it.
  std::string exact(62, '1');
  exact += "\u00e9\u00e9";
  info["CFBundleShortVersionString"] = platform::Value(exact);
  platform::env().bundle->setInfoDictionary(platform::Value(info));
  metadata = platform::JSONSerialization::parse(
      DiagnosticUploader::metadataJSON("manual", std::string("crash")));
  EXPECT_EQ(metadata["client_version"], std::string(62, '1') + "\u00e9");
  EXPECT_EQ(metadata["terminate_reason"], "crash");
}

TEST_F(DiagnosticUploaderTest, ReportsAreEnabledUnlessTurnedOff) {
  EXPECT_TRUE(DiagnosticUploader::isDiagnosticsEnabled());
  platform::env().defaults->set("flagrig.diagnosticsEnabled", platform::Value(false));
  EXPECT_FALSE(DiagnosticUploader::isDiagnosticsEnabled());
  platform::env().defaults->set("flagrig.diagnosticsEnabled", platform::Value(true));
  EXPECT_TRUE(DiagnosticUploader::isDiagnosticsEnabled());
}

}  // namespace
}  // namespace flagrig::testing
