// heif_decode.cpp - HEIF and AVIF pictures through libheif, the only file that
// sees its header. The stereo pair is found by our own box reader: this
// libheif has no call for entity groups.
#include "folder/heif_decode.h"

#include <FreeImage.h>
#include <libheif/heif.h>

#include <cstring>

#include "folder/image_load.h"
#include "folder/iso_boxes.h"

void StartHeifDecoder() { heif_init(nullptr); }

void StopHeifDecoder() { heif_deinit(); }

// Decodes one image to a 24-bit bitmap, or returns null. Its size after the
// transforms is checked against the budget before any pixel is decoded, and
// again on what the decoder made.
static FIBITMAP* DecodeHandle(const heif_image_handle* handle)
{
    if (!FitsPixelBudget((uint32_t)heif_image_handle_get_width(handle),
                         (uint32_t)heif_image_handle_get_height(handle)))
        return nullptr;
    heif_decoding_options* options = heif_decoding_options_alloc();
    if (!options)
        return nullptr;
    options->convert_hdr_to_8bit = 1;  // 10- and 12-bit pictures come as 8 bits per channel
    heif_image* image = nullptr;
    heif_error error =
        heif_decode_image(handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGB, options);
    heif_decoding_options_free(options);
    if (error.code != heif_error_Ok || !image)
    {
        heif_image_release(image);
        return nullptr;
    }
    const int width = heif_image_get_width(image, heif_channel_interleaved);
    const int height = heif_image_get_height(image, heif_channel_interleaved);
    int stride = 0;
    const uint8_t* plane = heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
    FIBITMAP* dib = nullptr;
    if (plane && width > 0 && height > 0 && stride >= 3 * width &&
        heif_image_get_bits_per_pixel(image, heif_channel_interleaved) == 24 &&
        FitsPixelBudget((uint32_t)width, (uint32_t)height))
        dib = FreeImage_Allocate(width, height, 24);
    // libheif's rows run top down, red green blue; ours bottom up, blue green red.
    for (int y = 0; dib && y < height; y++)
    {
        const uint8_t* in = plane + (size_t)y * (size_t)stride;
        uint8_t* out = FreeImage_GetScanLine(dib, height - 1 - y);
        for (int x = 0; x < width; x++, in += 3, out += 3)
        {
            out[FI_RGBA_RED] = in[0];
            out[FI_RGBA_GREEN] = in[1];
            out[FI_RGBA_BLUE] = in[2];
        }
    }
    heif_image_release(image);
    return dib;
}

// Decodes the image with an item id, or returns null.
static FIBITMAP* DecodeItem(heif_context* context, uint32_t id)
{
    heif_image_handle* handle = nullptr;
    if (!heif_context_is_top_level_image_ID(context, id) ||
        heif_context_get_image_handle(context, id, &handle).code != heif_error_Ok)
        return nullptr;
    FIBITMAP* dib = DecodeHandle(handle);
    heif_image_handle_release(handle);
    return dib;
}

// Returns an image's pixels after its transforms, 1 when over the budget, 0
// when there is no such top-level image.
static int64_t ItemPixels(heif_context* context, uint32_t id)
{
    heif_image_handle* handle = nullptr;
    if (!heif_context_is_top_level_image_ID(context, id) ||
        heif_context_get_image_handle(context, id, &handle).code != heif_error_Ok)
        return 0;
    const uint32_t width = (uint32_t)heif_image_handle_get_width(handle);
    const uint32_t height = (uint32_t)heif_image_handle_get_height(handle);
    heif_image_handle_release(handle);
    return FitsPixelBudget(width, height) ? (int64_t)width * height : 1;
}

int64_t HeifPixels(const uint8_t* bytes, size_t length)
{
    heif_context* context = heif_context_alloc();
    if (!context)
        return 0;
    int64_t pixels = 0;
    if (heif_context_read_from_memory_without_copy(context, bytes, length, nullptr).code == heif_error_Ok)
    {
        StereoItems eyes;
        heif_item_id primary = 0;
        if (FindStereoItems(bytes, length, &eyes))
        {
            const int64_t right = ItemPixels(context, eyes.right), left = ItemPixels(context, eyes.left);
            pixels = right > 1 && left > 1 ? right + left : 0;
        }
        if (pixels == 0 && heif_context_get_primary_image_ID(context, &primary).code == heif_error_Ok)
            pixels = ItemPixels(context, primary);
    }
    heif_context_free(context);
    return pixels;
}

int DecodeHeif(const uint8_t* bytes, size_t length, FIBITMAP** view0, FIBITMAP** view1)
{
    *view0 = *view1 = nullptr;
    heif_context* context = heif_context_alloc();
    if (!context)
        return 0;
    if (heif_context_read_from_memory_without_copy(context, bytes, length, nullptr).code != heif_error_Ok)
    {
        heif_context_free(context);
        return 0;
    }
    StereoItems eyes;
    if (FindStereoItems(bytes, length, &eyes))
    {
        *view0 = DecodeItem(context, eyes.right);
        *view1 = *view0 ? DecodeItem(context, eyes.left) : nullptr;
        if (!*view1 && *view0)
        {
            FreeImage_Unload(*view0);  // one eye alone is no pair: show the primary flat
            *view0 = nullptr;
        }
    }
    if (!*view0)
    {
        heif_image_handle* primary = nullptr;
        if (heif_context_get_primary_image_handle(context, &primary).code == heif_error_Ok)
        {
            *view0 = DecodeHandle(primary);
            heif_image_handle_release(primary);
        }
    }
    heif_context_free(context);
    return *view0 != nullptr;
}
