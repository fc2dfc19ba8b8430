// Stands in for an FFmpeg built without some decoders. Preloaded (LD_PRELOAD), it hides the
// decoders named in KESTREL_TEST_HIDDEN_DECODERS ("flashsv,nellymoser") from av_codec_iterate, the
// list Qt Multimedia's FFmpeg back end picks its decoders from.
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <link.h>
#include <string>

struct AVCodec {
    const char* name; // FFmpeg's AVCodec begins so
};

namespace
{

// Qt's back end loads libavcodec with its plugin, out of RTLD_NEXT's reach.
void* Libavcodec()
{
    void* found = nullptr;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* found) {
            if (!std::strstr(info->dlpi_name, "/libavcodec.so"))
                return 0;
            *static_cast<void**>(found) = dlopen(info->dlpi_name, RTLD_LAZY | RTLD_NOLOAD);
            return 1;
        },
        &found);
    return found;
}

} // namespace

extern "C" const AVCodec* av_codec_iterate(void** opaque)
{
    static void* const avcodec = Libavcodec();
    static const auto next =
        reinterpret_cast<const AVCodec* (*)(void**)>(dlsym(avcodec, "av_codec_iterate"));
    static const auto isDecoder =
        reinterpret_cast<int (*)(const AVCodec*)>(dlsym(avcodec, "av_codec_is_decoder"));
    const char* names = std::getenv("KESTREL_TEST_HIDDEN_DECODERS");
    const std::string hidden = ',' + std::string(names ? names : "") + ',';
    const AVCodec* codec;
    while ((codec = next(opaque)) && isDecoder(codec) &&
           hidden.find(',' + std::string(codec->name) + ',') != std::string::npos) {
    }
    return codec;
}
