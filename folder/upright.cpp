// upright.cpp - the load flags that show flat JPEG pictures upright.
#include "folder/upright.h"

#include <FreeImage.h>

int UprightLoadFlags(int32_t format, bool stereo)
{
    return format == FIF_JPEG && !stereo ? JPEG_EXIFROTATE : 0;
}
