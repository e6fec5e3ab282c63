#include "Platform/Linux/CurlTransport.h"

#include <curl/curl.h>
#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <limits>
#include <memory>
#include <optional>

#include "Platform/Foundation/FatalError.h"
#include "Platform/Foundation/SignalStack.h"

namespace platform::linuxbackend {

namespace {

using SteadyClock = std::chrono::steady_clock;

std::string lowercase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  });
  return text;
}

std::string trimmed(std::string_view text) {
  auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  auto last = text.find_last_not_of(" \t\r\n");
  return std::string(text.substr(first, last - first + 1));
}

long milliseconds(double seconds) {
  double ms = seconds * 1000.0;
  if (!(ms > 0)) return 1;
  return ms >= static_cast<double>(LONG_MAX) ? LONG_MAX : std::max(1L, static_cast<long>(ms));
}

URLError::Code errorCode(CURLcode result, long osErrno) {
  switch (result) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return URLError::cannotFindHost;
    case CURLE_COULDNT_CONNECT:
      return osErrno == ENETUNREACH || osErrno == ENETDOWN ? URLError::notConnectedToInternet
                                                           : URLError::cannotConnectToHost;
    case CURLE_OPERATION_TIMEDOUT:
      return URLError::timedOut;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_USE_SSL_FAILED:
      return URLError::secureConnectionFailed;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
      return URLError::serverCertificateUntrusted;
    case CURLE_SSL_CERTPROBLEM:
      return URLError::clientCertificateRejected;
    case CURLE_GOT_NOTHING:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_PARTIAL_FILE:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
      return URLError::networkConnectionLost;
    case CURLE_TOO_MANY_REDIRECTS:
      return URLError::httpTooManyRedirects;
    case CURLE_UNSUPPORTED_PROTOCOL:
      return URLError::unsupportedURL;
    case CURLE_URL_MALFORMAT:
      return URLError::badURL;
    case CURLE_WEIRD_SERVER_REPLY:
      return URLError::badServerResponse;
    case CURLE_BAD_CONTENT_ENCODING:
      return URLError::cannotDecodeContentData;
    case CURLE_FILESIZE_EXCEEDED:
      return URLError::dataLengthExceedsMaximum;
    case CURLE_ABORTED_BY_CALLBACK:
      return URLError::cancelled;
    default:
      return URLError::unknown;
  }
}

// Scheme, host and port of `url`, or nothing when it does not parse.
struct Origin {
  std::string scheme, host, port;
  bool operator==(const Origin&) const = default;
};

std::optional<Origin> originOf(CURLU* url) {
  Origin origin;
  std::string* parts[] = {&origin.scheme, &origin.host, &origin.port};
  CURLUPart names[] = {CURLUPART_SCHEME, CURLUPART_HOST, CURLUPART_PORT};
  for (int i = 0; i < 3; ++i) {
    char* text = nullptr;
    if (curl_url_get(url, names[i], &text, CURLU_DEFAULT_PORT) != CURLUE_OK) return std::nullopt;
    *parts[i] = lowercase(text);
    curl_free(text);
  }
  return origin;
}

// Whether a redirect from `current` to `location` (absolute or relative) stays on the same
// scheme, host and port. A request to another origin would carry our credentials there (the
// refresh token in a body, the proof and session in the fields), and https must never become
// http.
bool sameOrigin(const char* current, const std::string& location) {
  std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> from(curl_url(), &curl_url_cleanup);
  std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> to(curl_url(), &curl_url_cleanup);
  if (!from || !to || !current) return false;
  if (curl_url_set(from.get(), CURLUPART_URL, current, 0) != CURLUE_OK ||
      curl_url_set(to.get(), CURLUPART_URL, current, 0) != CURLUE_OK ||
      curl_url_set(to.get(), CURLUPART_URL, location.c_str(), 0) != CURLUE_OK)
    return false;
  auto a = originOf(from.get());
  auto b = originOf(to.get());
  return a && b && *a == *b;
}

void initialiseCurl() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK)
      fatalError("libcurl could not be initialised");
  });
}

}  // namespace

struct CurlTransport::Shared {
  CURLM* multi = nullptr;
  std::mutex mutex;
  std::vector<std::shared_ptr<Job>> incoming;
  std::vector<std::shared_ptr<Job>> cancelled;
  bool stopping = false;

  Shared() {
    initialiseCurl();
    multi = curl_multi_init();
    if (!multi) fatalError("libcurl could not make a multi handle");
  }
  ~Shared() { curl_multi_cleanup(multi); }
  void wake() { curl_multi_wakeup(multi); }
};

struct CurlTransport::Job final : HTTPTransport::Transfer {
  std::weak_ptr<Shared> shared;
  HTTPRequest request;
  URLSessionConfiguration configuration;
  HTTPTransport::Completion completion;
  std::atomic<bool> done{false};

  // Touched on the I/O thread only.
  CURL* easy = nullptr;
  curl_slist* headers = nullptr;
  SteadyClock::time_point lastActivity;
  SteadyClock::duration idleTimeout{};
  int statusCode = 0;
  // A redirect to another origin ends the transfer at its fields; it is the answer.
  bool redirectRefused = false;
  std::string httpVersion;
  HTTPHeaderFields responseFields;
  std::optional<std::string> lastFieldName;
  Bytes body;
  bool bodyTooLarge = false;
  curl_off_t lastUploaded = 0;

  ~Job() override {
    if (easy) curl_easy_cleanup(easy);
    curl_slist_free_all(headers);
  }

  void cancel() override {
    if (done) return;
    auto owner = shared.lock();
    if (!owner) return;
    {
      std::lock_guard lock(owner->mutex);
      owner->cancelled.push_back(std::static_pointer_cast<Job>(self.lock()));
    }
    owner->wake();
  }

  void complete(HTTPTransport::Outcome outcome) {
    if (done.exchange(true)) return;
    auto finish = std::move(completion);
    finish(std::move(outcome));
  }

  std::weak_ptr<Transfer> self;

  static std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* context) {
    auto* job = static_cast<Job*>(context);
    std::size_t length = size * count;
    std::string_view line(data, length);
    job->lastActivity = SteadyClock::now();
    if (line.rfind("HTTP/", 0) == 0) {
      // A new response (after a redirect or an interim 1xx) replaces the fields of the last.
      job->responseFields = {};
      job->lastFieldName.reset();
      job->httpVersion = std::string(line.substr(0, line.find(' ')));
      job->statusCode = 0;
      if (auto space = line.find(' '); space != std::string_view::npos)
        job->statusCode = std::atoi(std::string(line.substr(space + 1, 3)).c_str());
    } else if (trimmed(line).empty()) {
      // The end of a response's fields: libcurl follows a redirect after this, so refuse it
      // here when it leaves the origin.
      bool redirect = job->statusCode >= 300 && job->statusCode < 400 && job->statusCode != 304;
      auto location = job->responseFields.value("Location");
      if (redirect && location) {
        char* current = nullptr;
        curl_easy_getinfo(job->easy, CURLINFO_EFFECTIVE_URL, &current);
        if (!sameOrigin(current, *location)) {
          job->redirectRefused = true;
          return 0;  // ends the transfer
        }
      }
    } else if (!line.empty() && (line[0] == ' ' || line[0] == '\t') && job->lastFieldName) {
      auto value = job->responseFields.value(*job->lastFieldName).value_or("");
      job->responseFields.set(*job->lastFieldName, value + " " + trimmed(line));
    } else if (auto colon = line.find(':'); colon != std::string_view::npos) {
      auto name = trimmed(line.substr(0, colon));
      job->responseFields.add(name, trimmed(line.substr(colon + 1)));
      job->lastFieldName = name;
    }
    return length;
  }

  static std::size_t onBody(char* data, std::size_t size, std::size_t count, void* context) {
    auto* job = static_cast<Job*>(context);
    std::size_t length = size * count;
    // Decoded bytes are what arrive here, so a compressed body is held to the cap as it expands.
    if (length > job->configuration.maximumResponseBodyBytes - job->body.size()) {
      job->bodyTooLarge = true;
      return 0;  // ends the transfer
    }
    job->body.insert(job->body.end(), data, data + length);
    job->lastActivity = SteadyClock::now();
    return length;
  }

  static int onProgress(void* context, curl_off_t, curl_off_t, curl_off_t, curl_off_t uploaded) {
    auto* job = static_cast<Job*>(context);
    if (uploaded != job->lastUploaded) {
      job->lastUploaded = uploaded;
      job->lastActivity = SteadyClock::now();
    }
    return 0;
  }

  // Sets the easy handle up; a URL libcurl must not fetch gives its error instead.
  std::optional<URLError::Code> configure() {
    const auto& url = request.url;
    auto scheme = lowercase(url.scheme().value_or(""));
    if (url.isEmpty() || !url.scheme()) return URLError::badURL;
    if ((scheme != "http" && scheme != "https") || !url.host() || url.host()->empty()) {
      return URLError::unsupportedURL;
    }
    // A line break in a field would end it early and start another of the sender's choosing;
    // a NUL would cut it short.
    for (const auto& [name, value] : request.headerFields.fields()) {
      if (name.empty() || name.find_first_of(":\r\n \t", 0) != std::string::npos ||
          name.find('\0') != std::string::npos ||
          value.find_first_of("\r\n") != std::string::npos || value.find('\0') != std::string::npos)
        return URLError::badURL;
    }
    easy = curl_easy_init();
    if (!easy) return URLError::unknown;
    curl_easy_setopt(easy, CURLOPT_URL, url.absoluteString().c_str());
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 16L);
    curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS,
                     milliseconds(configuration.timeoutIntervalForResource));
    // Refused at once when the announced length is already past the cap.
    curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE,
                     static_cast<curl_off_t>(std::min<std::size_t>(
                         configuration.maximumResponseBodyBytes,
                         static_cast<std::size_t>(std::numeric_limits<curl_off_t>::max()))));
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Job::onHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Job::onBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &Job::onProgress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);

    const auto& method = request.httpMethod;
    if (method == "HEAD") {
      curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    } else if (method == "GET" && !request.httpBody) {
      curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    } else {
      // POSTFIELDS does not copy: the request, and so the body, lives as long as the job.
      static const char empty = 0;
      const Bytes* bodyBytes = request.httpBody ? &*request.httpBody : nullptr;
      const char* data = bodyBytes && !bodyBytes->empty()
                             ? reinterpret_cast<const char*>(bodyBytes->data())
                             : &empty;
      curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE,
                       static_cast<curl_off_t>(bodyBytes ? bodyBytes->size() : 0));
      curl_easy_setopt(easy, CURLOPT_POSTFIELDS, data);
      if (method != "POST") curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, method.c_str());
    }

    bool expectSet = false;
    for (const auto& [name, value] : request.headerFields.fields()) {
      // "Name;" is libcurl's way to send a field with an empty value.
      std::string line = value.empty() ? name + ";" : name + ": " + value;
      headers = curl_slist_append(headers, line.c_str());
      expectSet = expectSet || HTTPHeaderFields::sameName(name, "Expect");
    }
    // No "Expect: 100-continue" pause before larger bodies.
    if (!expectSet) headers = curl_slist_append(headers, "Expect:");
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);

    idleTimeout = std::chrono::duration_cast<SteadyClock::duration>(std::chrono::duration<double>(
        request.timeoutInterval.value_or(configuration.timeoutIntervalForRequest)));
    lastActivity = SteadyClock::now();
    return std::nullopt;
  }

  HTTPTransport::Outcome outcome(CURLcode result) {
    if (bodyTooLarge) return URLError(URLError::dataLengthExceedsMaximum, request.url);
    if (redirectRefused) {
      char* effective = nullptr;
      curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &effective);
      URL at = request.url;
      if (effective) {
        if (auto parsed = URL::parse(effective)) at = *parsed;
      }
      return HTTPResult{{},
                        std::make_shared<HTTPURLResponse>(at, statusCode, httpVersion,
                                                          std::move(responseFields))};
    }
    if (result != CURLE_OK) {
      long osErrno = 0;
      curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &osErrno);
      auto code = errorCode(result, osErrno);
      // The URL was checked before the transfer, so an unsupported protocol before any status
      // arrived is the server's answer: a status line that is not HTTP.
      long status = 0;
      curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
      if (code == URLError::unsupportedURL && status == 0) code = URLError::badServerResponse;
      return URLError(code, request.url);
    }
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    if (status <= 0) return URLError(URLError::badServerResponse, request.url);
    char* effective = nullptr;
    curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &effective);
    URL finalURL = request.url;
    if (effective) {
      if (auto parsed = URL::parse(effective)) finalURL = *parsed;
    }
    return HTTPResult{std::move(body),
                      std::make_shared<HTTPURLResponse>(finalURL, static_cast<int>(status),
                                                        httpVersion, std::move(responseFields))};
  }
};

CurlTransport::CurlTransport() : shared_(std::make_shared<Shared>()) {
  thread_ = std::thread([this] {
    SignalStack::installForThisThread();
    run();
  });
}

CurlTransport::~CurlTransport() {
  {
    std::lock_guard lock(shared_->mutex);
    shared_->stopping = true;
  }
  shared_->wake();
  thread_.join();
}

std::shared_ptr<HTTPTransport::Transfer> CurlTransport::start(
    HTTPRequest request, const URLSessionConfiguration& configuration,
    HTTPTransport::Completion completion) {
  auto job = std::make_shared<Job>();
  job->shared = shared_;
  job->request = std::move(request);
  job->configuration = configuration;
  job->completion = std::move(completion);
  job->self = job;
  bool accepted = false;
  {
    std::lock_guard lock(shared_->mutex);
    accepted = !shared_->stopping;
    if (accepted) shared_->incoming.push_back(job);
  }
  if (!accepted) {
    job->complete(URLError(URLError::cancelled, job->request.url));
    return job;
  }
  shared_->wake();
  return job;
}

void CurlTransport::run() {
  // A write to a socket the peer has closed raises SIGPIPE in the writing thread; with the
  // signal blocked here the write just fails (OpenSSL writes without MSG_NOSIGNAL).
  sigset_t pipe;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe, nullptr);

  auto& shared = *shared_;
  std::map<CURL*, std::shared_ptr<Job>> active;
  auto finish = [&](const std::shared_ptr<Job>& job, HTTPTransport::Outcome outcome) {
    if (job->easy && active.erase(job->easy)) curl_multi_remove_handle(shared.multi, job->easy);
    job->complete(std::move(outcome));
  };

  for (;;) {
    std::vector<std::shared_ptr<Job>> incoming, cancelled;
    bool stopping;
    {
      std::lock_guard lock(shared.mutex);
      incoming.swap(shared.incoming);
      cancelled.swap(shared.cancelled);
      stopping = shared.stopping;
    }
    for (auto& job : incoming) {
      if (auto failure = job->configure()) {
        finish(job, URLError(*failure, job->request.url));
      } else {
        active.emplace(job->easy, job);
        curl_multi_add_handle(shared.multi, job->easy);
      }
    }
    for (auto& job : cancelled) finish(job, URLError(URLError::cancelled, job->request.url));
    if (stopping) break;

    int running = 0;
    curl_multi_perform(shared.multi, &running);
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(shared.multi, &queued)) {
      if (message->msg != CURLMSG_DONE) continue;
      auto it = active.find(message->easy_handle);
      if (it == active.end()) continue;
      auto job = it->second;
      finish(job, job->outcome(message->data.result));
    }

    auto now = SteadyClock::now();
    auto wait = std::chrono::milliseconds(1000);
    std::vector<std::shared_ptr<Job>> idle;
    for (auto& [easy, job] : active) {
      auto deadline = job->lastActivity + job->idleTimeout;
      if (deadline <= now) {
        idle.push_back(job);
      } else {
        wait = std::min(wait, std::chrono::ceil<std::chrono::milliseconds>(deadline - now));
      }
    }
    for (auto& job : idle) finish(job, URLError(URLError::timedOut, job->request.url));
    if (!idle.empty()) continue;
    curl_multi_poll(shared.multi, nullptr, 0, static_cast<int>(wait.count()), nullptr);
  }

  // Whatever is still running or waiting ends as cancelled.
  std::vector<std::shared_ptr<Job>> left;
  for (auto& [easy, job] : active) left.push_back(job);
  {
    std::lock_guard lock(shared.mutex);
    left.insert(left.end(), shared.incoming.begin(), shared.incoming.end());
    shared.incoming.clear();
  }
  for (auto& job : left) finish(job, URLError(URLError::cancelled, job->request.url));
}

}  // namespace platform::linuxbackend
