// Tests of the SDL host's X error handler: SDL's wake-up event to a window that
// is already gone is let pass, every other error reaches the handler before it.
#include <gtest/gtest.h>

#include <X11/Xproto.h>

#include "platform/sdl/sdl_x11_errors.h"

namespace {

int gPassedOn;

// Stands in for Xlib's default handler, which would end the process.
int CountingHandler(Display*, XErrorEvent* error) { return gPassedOn += error->error_code, 0; }

TEST(SdlX11Errors, OnlyAWakeUpToAWindowThatIsGoneIsIgnored)
{
    XSetErrorHandler(CountingHandler);
    SdlInstallX11ErrorHandler(), SdlInstallX11ErrorHandler();  // installing again must not chain it to itself
    EXPECT_EQ(XSetErrorHandler(SdlX11Error), SdlX11Error);
    // The error, the request, and what reaches the previous handler (its code once, or nothing).
    const int cases[][3] = {{BadWindow, X_SendEvent, 0}, {BadWindow, X_ChangeProperty, BadWindow},
                            {BadValue, X_SendEvent, BadValue}};
    for (const auto& c : cases)
    {
        XErrorEvent e = {};
        e.error_code = (unsigned char)c[0], e.request_code = (unsigned char)c[1], gPassedOn = 0;
        EXPECT_EQ(SdlX11Error(nullptr, &e), 0) << c[0] << " " << c[1];
        EXPECT_EQ(gPassedOn, c[2]) << c[0] << " " << c[1];
    }
}

}  // namespace
