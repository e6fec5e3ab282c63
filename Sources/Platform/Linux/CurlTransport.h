#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "Platform/Network/HTTPTransport.h"

namespace platform::linuxbackend {

// Every HTTP transfer of the process on libcurl: one multi handle driven by one I/O thread.
// libcurl keeps no cookies and no cache here, so every session behaves as an ephemeral one.
// Sessions hand their transfers in from any thread; the thread runs them side by side and
// calls each completion once, on the I/O thread (the session's task then resumes on its own
// executor). Timeouts are the platform's: the request's interval without progress, and the
// session's limit for the whole transfer. Signals are off (CURLOPT_NOSIGNAL) and SIGPIPE is
// blocked on the I/O thread, so a peer that closes early gives an error, never a signal.
class CurlTransport final : public HTTPTransport {
 public:
  CurlTransport();
  ~CurlTransport() override;
  CurlTransport(const CurlTransport&) = delete;
  CurlTransport& operator=(const CurlTransport&) = delete;

  std::shared_ptr<Transfer> start(HTTPRequest request, const URLSessionConfiguration& configuration,
                                  Completion completion) override;

 private:
  struct Job;
  struct Shared;
  void run();

  std::shared_ptr<Shared> shared_;
  std::thread thread_;
};

}  // namespace platform::linuxbackend
