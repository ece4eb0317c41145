// about.h - the about text and the project's web address, shown and opened by
// the toolbar.
#pragma once

// Four lines of ByteFont text: name and version, credit, what the program is
// for, and where it lives on the web. ASCII only, CR LF between lines.
inline constexpr char kAboutText[] =
    "Orvale Viewer 0.1.0\r\n"
    "Made by the Orvale Viewer developers\r\n"
    "Stereo photos on row-interleaved 3D monitors\r\n"
    "orvale-viewer.org";

// The project's web page, opened by the toolbar's Web button.
inline constexpr char16_t kWebAddress[] = u"http://orvale-viewer.org/orvale_viewer_en.html";

// The help page's file name, looked for beside the program.
inline constexpr char16_t kHelpFileName[] = u"help.html";
