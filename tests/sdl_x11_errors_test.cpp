// Tests of the SDL host's X error handler: SDL's wake-up event to a window that
// is already gone is let pass, every other error reaches the handler before it.
#include <gtest/gtest.h>

#include <X11/Xproto.h>

#include "platform/sdl/sdl_x11_errors.h"

namespace {

int gPassedOn;
int gPassedOnCode;

// Stands in for Xlib's default handler, which would end the process.
int CountingHandler(Display*, XErrorEvent* error)
{
    gPassedOn++;
    gPassedOnCode = error->error_code;
    return 0;
}

XErrorEvent Error(unsigned char code, unsigned char request)
{
    XErrorEvent e = {};
    e.type = 0;
    e.error_code = code;
    e.request_code = request;
    e.resourceid = 0x600002;
    return e;
}

class SdlX11Errors : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        XSetErrorHandler(CountingHandler);
        SdlInstallX11ErrorHandler();
    }
    void SetUp() override { gPassedOn = 0; }
};

TEST_F(SdlX11Errors, InstalledInFrontOfThePreviousHandler)
{
    XErrorHandler current = XSetErrorHandler(CountingHandler);
    XSetErrorHandler(current);
    EXPECT_EQ(current, SdlX11Error);
    // Installing again must not chain the handler to itself.
    SdlInstallX11ErrorHandler();
    XErrorEvent e = Error(BadValue, X_ChangeProperty);
    SdlX11Error(nullptr, &e);
    EXPECT_EQ(gPassedOn, 1);
}

TEST_F(SdlX11Errors, WakeUpToAWindowThatIsGoneIsIgnored)
{
    XErrorEvent e = Error(BadWindow, X_SendEvent);
    EXPECT_EQ(SdlX11Error(nullptr, &e), 0);
    EXPECT_EQ(gPassedOn, 0);
}

TEST_F(SdlX11Errors, OtherErrorsReachThePreviousHandler)
{
    XErrorEvent stale = Error(BadWindow, X_ChangeProperty);
    SdlX11Error(nullptr, &stale);
    XErrorEvent value = Error(BadValue, X_SendEvent);
    SdlX11Error(nullptr, &value);
    EXPECT_EQ(gPassedOn, 2);
    EXPECT_EQ(gPassedOnCode, BadValue);
}

}  // namespace
