// The desktop layer: Qt drawing, canvas, clipboard, printing and metafile playback.
