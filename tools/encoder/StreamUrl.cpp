#include "StreamUrl.h"

#include "CommandLine.h"
#include "Failure.h"

namespace
{

size_t schemeLength(const std::string& url)
{
    return url.rfind("rtmp://", 0) == 0 ? 7 : url.rfind("rtmps://", 0) == 0 ? 8 : 0;
}

// Where the key starts: after the last "/" before any "?".
size_t keyStart(const std::string& url)
{
    const size_t query = url.find('?', schemeLength(url));
    const size_t slash = url.rfind('/', query == std::string::npos ? std::string::npos : query);
    return slash == std::string::npos ? url.size() : slash + 1;
}

} // namespace

void checkStreamUrl(const std::string& url)
{
    const size_t scheme = schemeLength(url);
    const size_t hostEnd = url.find('/', scheme);
    std::string host =
        url.substr(scheme, hostEnd == std::string::npos ? std::string::npos : hostEnd - scheme);
    // A port after the host, or after an IPv6 address in brackets.
    const size_t colon = host.rfind(':');
    bool goodPort = true;
    if (colon != std::string::npos && host.find(']', colon) == std::string::npos) {
        const std::optional<int> port = wholeNumber(std::string_view(host).substr(colon + 1), 5);
        goodPort = port && *port > 0 && *port < 65536;
        host.resize(colon);
    }
    const size_t key = keyStart(url);
    bool plain = true; // a blank or control character would be cut or misread on the way
    for (unsigned char c : url)
        plain = plain && c > ' ' && c != 0x7F;
    if (scheme == 0 || host.empty() || !goodPort || hostEnd == std::string::npos ||
        key <= hostEnd + 1 || key >= url.size() || url[key] == '?' || !plain)
        throw Failure("-stream " + quoted(maskedUrl(url)) +
                      ": give an rtmp:// or rtmps:// address with the host, the application "
                      "and the stream key, such as rtmp://live.example.com/app/KEY");
}

std::string maskedUrl(const std::string& url)
{
    const size_t key = keyStart(url);
    return key < url.size() ? url.substr(0, key) + "****" : url;
}

std::string streamKey(const std::string& url)
{
    return url.substr(keyStart(url));
}

bool isRtmps(const std::string& url)
{
    return schemeLength(url) == 8;
}
