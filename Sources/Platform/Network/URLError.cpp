#include "Platform/Network/URLError.h"

namespace platform {

std::string URLError::description() const {
  switch (code_) {
    case cancelled:
      return "cancelled";
    case badURL:
      return "bad URL";
    case timedOut:
      return "The request timed out.";
    case unsupportedURL:
      return "unsupported URL";
    case cannotFindHost:
      return "A server with the specified hostname could not be found.";
    case cannotConnectToHost:
      return "Could not connect to the server.";
    case networkConnectionLost:
      return "The network connection was lost.";
    case httpTooManyRedirects:
      return "too many HTTP redirects";
    case notConnectedToInternet:
      return "The Internet connection appears to be offline.";
    case badServerResponse:
      return "The server returned an unexpected response.";
    case cannotDecodeContentData:
      return "The content of the response could not be decoded.";
    case dataLengthExceedsMaximum:
      return "The resource exceeds the maximum size.";
    case secureConnectionFailed:
      return "An SSL error has occurred and a secure connection to the server cannot be made.";
    case serverCertificateUntrusted:
      return "The certificate for this server is invalid.";
    case clientCertificateRejected:
      return "The server did not accept the certificate.";
    case unknown:
      break;
  }
  return "An unknown error occurred.";
}

}  // namespace platform
