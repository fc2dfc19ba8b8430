// Kestrel's FLV preview player.
//
// The host loads this file into the "Play FLV Files" tab. The contract with
// the host is small:
//   - fsCommand(command, args): raised when the user presses the open button;
//     the host answers with a file dialog.
//   - varFlvFile: the host writes the full path of the chosen FLV file here;
//     the player then plays it from the start.
// Everything else (the look, the controls, how the file is played) is the
// player's own affair. Playback goes through QtMultimedia, whose back end is
// GStreamer up to Qt 6.4 and FFmpeg from Qt 6.5 on.
import QtQuick
import QtMultimedia

Rectangle {
    id: movie

    // The stage size; the host scales the stage to its control.
    width: 407
    height: 327
    color: "black"
    focus: true

    property string varFlvFile: ""

    // What the player is doing, for people and for tests:
    // "empty", "loading", "playing", "paused", "stopped" or "error".
    readonly property string playerState: errorText !== "" ? "error"
        : player.playbackState === MediaPlayer.PlayingState ? "playing"
        : player.playbackState === MediaPlayer.PausedState ? "paused"
        : player.source == "" ? "empty"
        : (player.mediaStatus === MediaPlayer.LoadingMedia) ? "loading" : "stopped"
    // Why the file cannot be played, in words for the user; the media
    // framework's own words go below it, smaller.
    readonly property string errorText: failure
    property string failure: ""
    property string failureDetail: ""

    signal fsCommand(string command, string args)

    onVarFlvFileChanged: {
        failure = ""
        failureDetail = ""
        player.stop()
        if (varFlvFile === "") {
            player.source = ""
            return
        }
        player.source = fileUrl(varFlvFile)
        player.play()
    }

    // A local path as a file URL; every path segment is percent-encoded so
    // that blanks, '#', '%' and backslashes in names survive.
    function fileUrl(path) {
        if (path.indexOf("file:") === 0)
            return path
        var parts = path.split("/")
        for (var i = 0; i < parts.length; ++i)
            parts[i] = encodeURIComponent(parts[i])
        var joined = parts.join("/")
        return "file://" + (joined.charAt(0) === "/" ? "" : "/") + joined
    }

    function timeText(ms) {
        var s = Math.max(0, Math.floor(ms / 1000))
        var m = Math.floor(s / 60)
        s = s % 60
        return m + ":" + (s < 10 ? "0" : "") + s
    }

    function togglePlay() {
        if (player.source == "" || failure !== "")
            return
        if (player.playbackState === MediaPlayer.PlayingState)
            player.pause()
        else
            player.play()
    }

    function reasonFor(error) {
        switch (error) {
        case MediaPlayer.ResourceError:
            return "This file cannot be played: it is missing, unreadable, or not a video."
        case MediaPlayer.FormatError:
            return "This file cannot be played: its video or sound format is not supported."
        case MediaPlayer.AccessDeniedError:
            return "This file cannot be played: access to it is denied."
        default:
            return "This file cannot be played."
        }
    }

    function fail(reason, detail) {
        if (failure !== "")
            return
        failure = reason
        failureDetail = detail
        player.stop()
    }

    // The host tells of a stream that no installed decoder takes: rather than
    // a black picture or silence, the reason and what to install for the back
    // end in use. It outweighs the framework's own failure. STREAM holds
    // "stream" ("video", "audio" or ""), "format" (its name, or ""), "backend"
    // ("GStreamer" or "FFmpeg") and, for FFmpeg, "avcodec" (the major version
    // of its libavcodec, which names the Debian package).
    function decoderMissing(stream) {
        if (player.source == "")
            return
        var what = stream.stream === "video" ? "video" : stream.stream === "audio" ? "sound"
                                                                                 : "video or sound"
        if (stream.format)
            what += " (" + stream.format + ")"
        var advice = stream.backend === "FFmpeg"
            ? "Debian's package libavcodec" + stream.avcodec + " or libavcodec-extra" + stream.avcodec
              + " brings the decoders of FLV files."
            : "Debian's packages gstreamer1.0-libav, gstreamer1.0-plugins-good and "
              + "gstreamer1.0-plugins-bad bring the decoders of FLV files."
        failure = ""
        fail("This file cannot be played: no decoder for its " + what + " is installed.", advice)
    }

    Keys.onSpacePressed: togglePlay()

    MediaPlayer {
        id: player
        objectName: "player"
        videoOutput: video
        audioOutput: AudioOutput {
            id: audio
            volume: 0.8
        }
        onErrorOccurred: function (error, errorString) {
            // The FFmpeg back end cannot seek a clip whose pictures start after its sound
            // (Sorenson with MP3, as FFmpeg writes it) to its very start, and plays it from
            // there all the same.
            if (error === MediaPlayer.ResourceError && player.position === 0
                    && errorString.indexOf("Failed to seek") === 0)
                return
            movie.fail(movie.reasonFor(error), errorString)
        }
        onMediaStatusChanged: {
            if (mediaStatus === MediaPlayer.InvalidMedia)
                movie.fail(movie.reasonFor(MediaPlayer.FormatError), "")
        }
    }

    // A file the framework accepts but that never yields a picture or a
    // sound (a cut-off file, say) would otherwise play on as a black box.
    Timer {
        interval: 5000
        running: player.playbackState === MediaPlayer.PlayingState && !player.hasVideo
                 && !player.hasAudio && player.position === 0
        onTriggered: movie.fail("This file cannot be played: it holds no pictures or sound.", "")
    }

    VideoOutput {
        id: video
        objectName: "video"
        anchors { left: parent.left; right: parent.right; top: parent.top; bottom: bar.top }
        fillMode: VideoOutput.PreserveAspectFit

        MouseArea {
            anchors.fill: parent
            onClicked: { movie.forceActiveFocus(); movie.togglePlay() }
        }
    }

    // Messages on the picture: the invitation, loading, and why a file
    // cannot be played.
    Column {
        anchors.centerIn: video
        width: video.width - 40
        spacing: 6
        visible: movie.playerState === "empty" || movie.playerState === "error" || movie.playerState === "loading"

        Text {
            objectName: "message"
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.Wrap
            color: movie.playerState === "error" ? "#ff8080" : "#d0d0d0"
            font.pixelSize: 14
            font.bold: movie.playerState === "error"
            text: movie.playerState === "error" ? movie.errorText
                : movie.playerState === "loading" ? "Loading\u2026"
                : "Press the folder button below to open an FLV file."
        }
        Text {
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.Wrap
            color: "#a0a0a0"
            font.pixelSize: 11
            visible: movie.playerState === "error" && text !== ""
            text: movie.failureDetail
        }
        Text {
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            elide: Text.ElideMiddle
            color: "#a0a0a0"
            font.pixelSize: 11
            visible: movie.playerState === "error"
            text: movie.varFlvFile
        }
    }

    // The control bar.
    Rectangle {
        id: bar
        anchors { left: parent.left; right: parent.right; bottom: parent.bottom }
        height: 30
        gradient: Gradient {
            GradientStop { position: 0.0; color: "#4a4a4a" }
            GradientStop { position: 1.0; color: "#1e1e1e" }
        }

        Row {
            id: leftButtons
            anchors { left: parent.left; leftMargin: 4; verticalCenter: parent.verticalCenter }
            spacing: 2

            BarButton {
                id: openButton
                objectName: "openButton"
                onClicked: movie.fsCommand("open", "")
                // A folder.
                Rectangle { x: 5; y: 8; width: 7; height: 3; radius: 1; color: parent.glyph }
                Rectangle { x: 5; y: 10; width: 16; height: 10; radius: 1; color: parent.glyph }
            }
            BarButton {
                id: playButton
                objectName: "playButton"
                onClicked: movie.togglePlay()
                Canvas {
                    anchors.fill: parent
                    visible: player.playbackState !== MediaPlayer.PlayingState
                    property color glyph: parent.glyph
                    onGlyphChanged: requestPaint()
                    onPaint: {
                        var ctx = getContext("2d")
                        ctx.reset()
                        ctx.fillStyle = glyph
                        ctx.beginPath()
                        ctx.moveTo(8, 6)
                        ctx.lineTo(20, 13)
                        ctx.lineTo(8, 20)
                        ctx.closePath()
                        ctx.fill()
                    }
                }
                Rectangle {
                    x: 8; y: 7; width: 4; height: 12; color: parent.glyph
                    visible: player.playbackState === MediaPlayer.PlayingState
                }
                Rectangle {
                    x: 15; y: 7; width: 4; height: 12; color: parent.glyph
                    visible: player.playbackState === MediaPlayer.PlayingState
                }
            }
        }

        Text {
            id: clock
            objectName: "clock"
            anchors { left: leftButtons.right; leftMargin: 6; verticalCenter: parent.verticalCenter }
            color: "#e0e0e0"
            font.pixelSize: 11
            text: movie.timeText(seekBar.pressed ? seekBar.value : player.position) + " / "
                  + movie.timeText(player.duration)
        }

        SeekBar {
            id: seekBar
            objectName: "seekBar"
            anchors {
                left: clock.right; leftMargin: 8; right: volumeIcon.left; rightMargin: 8
                verticalCenter: parent.verticalCenter
            }
            enabled: player.seekable && player.duration > 0
            to: Math.max(1, player.duration)
            live: player.position
            onMoved: function (value) {
                // A stopped player (at the end, say) shows no picture: it
                // pauses at the new position and shows the frame there.
                if (player.playbackState === MediaPlayer.StoppedState && movie.failure === "")
                    player.pause()
                player.position = value
            }
        }

        // A loudspeaker.
        Item {
            id: volumeIcon
            anchors { right: volumeBar.left; rightMargin: 3; verticalCenter: parent.verticalCenter }
            width: 14; height: 14
            Rectangle { x: 1; y: 4; width: 4; height: 6; color: "#e0e0e0" }
            Canvas {
                anchors.fill: parent
                onPaint: {
                    var ctx = getContext("2d")
                    ctx.fillStyle = "#e0e0e0"
                    ctx.beginPath()
                    ctx.moveTo(4, 4)
                    ctx.lineTo(10, 0)
                    ctx.lineTo(10, 14)
                    ctx.lineTo(4, 10)
                    ctx.closePath()
                    ctx.fill()
                }
            }
            MouseArea {
                anchors.fill: parent
                onClicked: audio.muted = !audio.muted
            }
            Rectangle {
                visible: audio.muted
                anchors.centerIn: parent
                width: 18; height: 2; rotation: 45; color: "#ff6060"
            }
        }

        SeekBar {
            id: volumeBar
            objectName: "volumeBar"
            anchors { right: parent.right; rightMargin: 8; verticalCenter: parent.verticalCenter }
            width: 50
            to: 1
            live: audio.volume
            onMoved: function (value) { audio.volume = value }
        }
    }

    component BarButton: Rectangle {
        id: button
        property color glyph: area.pressed ? "#ffffff" : area.containsMouse ? "#ffe080" : "#e0e0e0"
        signal clicked()
        width: 26
        height: 26
        radius: 3
        color: area.containsMouse ? "#606060" : "transparent"
        MouseArea {
            id: area
            anchors.fill: parent
            hoverEnabled: true
            onClicked: { movie.forceActiveFocus(); button.clicked() }
        }
    }

    // A horizontal bar with a knob. While the knob is held, value follows the
    // mouse and "moved" reports each new value; otherwise value follows live.
    component SeekBar: Item {
        id: seek
        property real to: 1
        property real value: 0
        property real live: 0
        readonly property bool pressed: drag.pressed
        signal moved(real value)
        height: 14
        opacity: enabled ? 1 : 0.4

        Binding on value {
            when: !drag.pressed
            value: seek.live
            restoreMode: Binding.RestoreNone
        }

        Rectangle {
            anchors { left: parent.left; right: parent.right; verticalCenter: parent.verticalCenter }
            height: 4
            radius: 2
            color: "#202020"
            border.color: "#101010"
            Rectangle {
                width: parent.width * Math.min(1, seek.value / seek.to)
                height: parent.height
                radius: 2
                color: "#f0a030"
            }
        }
        Rectangle {
            x: (seek.width - width) * Math.min(1, seek.value / seek.to)
            anchors.verticalCenter: parent.verticalCenter
            width: 10; height: 10; radius: 5
            color: drag.pressed ? "#ffffff" : "#e0e0e0"
        }
        MouseArea {
            id: drag
            anchors.fill: parent
            function follow(mouseX) {
                var v = Math.max(0, Math.min(1, mouseX / seek.width)) * seek.to
                seek.value = v
                seek.moved(v)
            }
            onPressed: function (mouse) { follow(mouse.x) }
            onPositionChanged: function (mouse) { if (pressed) follow(mouse.x) }
        }
    }
}
