#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "Platform/Network/HTTPSession.h"

namespace platform::linuxbackend {

// Every HTTP transfer of the process on libcurl: one multi handle driven by one I/O thread.
// Sessions hand their transfers in from any thread; the thread runs them side by side and
// calls each completion once, on the I/O thread (the session's task then resumes on its own
// executor). Timeouts are the platform's: the request's interval without progress, and the
// session's limit for the whole transfer. Signals are off (CURLOPT_NOSIGNAL) and SIGPIPE is
// blocked on the I/O thread, so a peer that closes early gives an error, never a signal.
class CurlTransport {
 public:
  CurlTransport();
  ~CurlTransport();
  CurlTransport(const CurlTransport&) = delete;
  CurlTransport& operator=(const CurlTransport&) = delete;

  std::shared_ptr<HTTPSession::Transfer> start(HTTPRequest request,
                                               const URLSessionConfiguration& configuration,
                                               HTTPSession::Completion completion);

 private:
  struct Job;
  struct Shared;
  void run();

  std::shared_ptr<Shared> shared_;
  std::thread thread_;
};

}  // namespace platform::linuxbackend
