// The window's control of each field of a job that has one, by object name.
#pragma once

#include "options/JobOptionTable.h"

#include <QString>

inline QString ControlOf(JobField field)
{
    static const struct {
        JobField field;
        const char* control;
    } controls[] = {
        {JobField::Source, "cmdInput"},
        {JobField::OutputFolder, "cmdOutput"},
        {JobField::OutputName, "txtOutFile"},
        {JobField::FrameSize, "cmbVideoWindow"},
        {JobField::VideoBitrate, "cmbVideoBitrate"},
        {JobField::FrameRate, "cmbVideoFrameRate"},
        {JobField::AudioRate, "cmbAudioSampling"},
        {JobField::AudioBitrate, "cmbAudioBitrate"},
        {JobField::Channels, "cmbAudioChannel"},
        {JobField::WatermarkText, "txtWatermark"},
        {JobField::Font, "cmbFontFileName"},
        {JobField::Opacity, "txtAlpha"},
        {JobField::Left, "txtLeft"},
        {JobField::Top, "txtTop"},
        {JobField::StillsCount, "txtNumImages"},
    };
    for (const auto& row : controls) {
        if (row.field == field)
            return QLatin1String(row.control);
    }
    return QString();
}

// The option buttons of the corners, in the Corner enum's order after None.
inline constexpr const char* CornerControls[] = {"optTopLeft", "optTopRight", "optBottomLeft",
                                                 "optBottomRight"};
