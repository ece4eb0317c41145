// Formats whose codec library the Windows build leaves out (TIFF, OpenEXR,
// JPEG-2000, camera RAW, WebP, JPEG XR). tools/build/windows_deps.sh compiles this
// file into FreeImage in place of their plugins.
//
// FreeImage numbers its formats by the order FreeImage_Initialise registers
// them, and it skips a plugin that names no format. Each left-out format
// therefore still registers here under its own name, so FIF_JPEG stays 2,
// FIF_PNG 13 and every later format keeps the number FreeImage.h gives it.
// With no validate or load procedure, such a format is never detected and
// FreeImage_FIFSupportsReading answers FALSE for it. The extension lists are
// the real plugins' ones: FreeImage_GetFIFFromFilename reads them (it fails on
// a plugin without one) and still names the format of such a file.

#include "FreeImage.h"
#include "Plugin.h"

#define ORVALE_ABSENT_PLUGIN(init, format, description, extensions, mime)   \
	void DLL_CALLCONV init(Plugin *plugin, int) {                             \
		plugin->format_proc = []() -> const char * { return format; };        \
		plugin->description_proc = []() -> const char * { return description; }; \
		plugin->extension_proc = []() -> const char * { return extensions; }; \
		plugin->mime_proc = []() -> const char * { return mime; };            \
	}

ORVALE_ABSENT_PLUGIN(InitTIFF, "TIFF", "Tagged Image File Format (not in this build)", "tif,tiff", "image/tiff")
ORVALE_ABSENT_PLUGIN(InitEXR, "EXR", "ILM OpenEXR (not in this build)", "exr", "image/x-exr")
ORVALE_ABSENT_PLUGIN(InitJ2K, "J2K", "JPEG-2000 codestream (not in this build)", "j2k,j2c", "image/j2k")
ORVALE_ABSENT_PLUGIN(InitJP2, "JP2", "JPEG-2000 File Format (not in this build)", "jp2", "image/jp2")
ORVALE_ABSENT_PLUGIN(InitRAW, "RAW", "RAW camera image (not in this build)",
	"3fr,arw,bay,bmq,cap,cine,cr2,crw,cs1,dc2,dcr,drf,dsc,dng,erf,fff,ia,iiq,k25,kc2,kdc,mdc,mef,mos,"
	"mrw,nef,nrw,orf,pef,ptx,pxn,qtk,raf,raw,rdc,rw2,rwl,rwz,sr2,srf,srw,sti,x3f", "image/x-dcraw")
ORVALE_ABSENT_PLUGIN(InitWEBP, "WebP", "Google WebP image format (not in this build)", "webp", "image/webp")
ORVALE_ABSENT_PLUGIN(InitJXR, "JPEG-XR", "JPEG XR image format (not in this build)", "jxr,wdp,hdp", "image/vnd.ms-photo")
