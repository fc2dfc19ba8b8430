#include "options/OptionLists.h"

const QList<FixedOptionList>& FixedOptionLists()
{
    // "240x180" stands before "240x135" on purpose: users know the list so.
    static const QList<FixedOptionList> lists = {
        {"cmbVideoWindow",
         {"160x120", "240x180", "240x135", "320x180", "320x240", "400x225", "400x300", "512x288",
          "512x384", "640x360", "640x480", "768x432", "768x576"},
         6},
        {"cmbVideoBitrate", {"40", "96", "112", "160", "225", "350", "450", "800", "1200"}, 4},
        {"cmbVideoFrameRate", {"8", "12", "15", "24", "25", "30"}, 3},
        {"cmbAudioSampling", {"11025", "22050", "44100"}, 1},
        {"cmbAudioBitrate", {"24", "32", "48", "56", "64", "80", "96", "112", "128", "160"}, 4},
        {"cmbAudioChannel", {"Stereo", "Mono"}, 1},
    };
    return lists;
}
