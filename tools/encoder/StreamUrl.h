// The addresses a stream is sent to: rtmp://HOST[:PORT]/APP/KEY or rtmps://…,
// where APP may have more parts and KEY, the stream's name on the server, is
// the last part of the path (with any query after it). The key is a secret:
// whatever the front-end writes shows it as "****".
#pragma once

#include <string>

// Throws Failure when URL is not an rtmp:// or rtmps:// address with a host,
// an application and a key (the message shows the address masked).
void checkStreamUrl(const std::string& url);

// URL with its key made "****".
std::string maskedUrl(const std::string& url);

// URL's key: everything after the last "/" of the path.
std::string streamKey(const std::string& url);

// Whether URL is an rtmps:// address.
bool isRtmps(const std::string& url);
