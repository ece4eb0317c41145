// posix_text.cpp - UTF-8 <-> UTF-16 with lone-surrogate escapes for stray bytes.
#include "platform/posix/posix_text.h"

#include <cstdint>
#include <cstdlib>

// Returns the length of the valid UTF-8 sequence at p (1 to 4) and its code
// point, or 0 when the bytes there are not valid UTF-8 (overlong forms,
// surrogates and values past U+10FFFF included).
static int DecodeSequence(const unsigned char* p, size_t left, uint32_t* codePoint)
{
    unsigned char b0 = p[0];
    if (b0 < 0x80)
    {
        *codePoint = b0;
        return 1;
    }
    int need;
    uint32_t cp;
    uint32_t minimum;
    if (b0 >= 0xC2 && b0 <= 0xDF)
    {
        need = 1;
        cp = b0 & 0x1Fu;
        minimum = 0x80;
    }
    else if (b0 >= 0xE0 && b0 <= 0xEF)
    {
        need = 2;
        cp = b0 & 0x0Fu;
        minimum = 0x800;
    }
    else if (b0 >= 0xF0 && b0 <= 0xF4)
    {
        need = 3;
        cp = b0 & 0x07u;
        minimum = 0x10000;
    }
    else
        return 0;
    if ((size_t)need >= left)
        return 0;
    for (int i = 1; i <= need; i++)
    {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (p[i] & 0x3Fu);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    *codePoint = cp;
    return need + 1;
}

char16_t* PosixToUtf16(const char* bytes, size_t length, size_t* outLength)
{
    // Every byte yields at most one code unit, every 4-byte sequence two.
    char16_t* out = (char16_t*)malloc((length + 1) * sizeof(char16_t));
    if (!out)
        return nullptr;
    const unsigned char* p = (const unsigned char*)bytes;
    size_t n = 0;
    size_t i = 0;
    while (i < length)
    {
        uint32_t cp;
        int used = DecodeSequence(p + i, length - i, &cp);
        if (used == 0)
        {
            out[n++] = (char16_t)(0xDC00 + p[i]);
            i++;
            continue;
        }
        if (cp >= 0x10000)
        {
            cp -= 0x10000;
            out[n++] = (char16_t)(0xD800 + (cp >> 10));
            out[n++] = (char16_t)(0xDC00 + (cp & 0x3FF));
        }
        else
            out[n++] = (char16_t)cp;
        i += (size_t)used;
    }
    out[n] = 0;
    if (outLength)
        *outLength = n;
    return out;
}

char* PosixToBytes(const char16_t* text, size_t* outLength)
{
    size_t units = 0;
    while (text[units])
        units++;
    // A code unit needs at most 3 bytes; a pair of them 4.
    char* out = (char*)malloc(units * 3 + 1);
    if (!out)
        return nullptr;
    unsigned char* q = (unsigned char*)out;
    size_t n = 0;
    for (size_t i = 0; i < units; i++)
    {
        uint32_t u = text[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
        {
            uint32_t cp = 0x10000 + ((u - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
            q[n++] = (unsigned char)(0xF0 | (cp >> 18));
            q[n++] = (unsigned char)(0x80 | ((cp >> 12) & 0x3F));
            q[n++] = (unsigned char)(0x80 | ((cp >> 6) & 0x3F));
            q[n++] = (unsigned char)(0x80 | (cp & 0x3F));
            i++;
        }
        else if (u >= 0xDC80 && u <= 0xDCFF)
            q[n++] = (unsigned char)(u - 0xDC00);  // a stray byte of the original name
        else if (u < 0x80)
            q[n++] = (unsigned char)u;
        else if (u < 0x800)
        {
            q[n++] = (unsigned char)(0xC0 | (u >> 6));
            q[n++] = (unsigned char)(0x80 | (u & 0x3F));
        }
        else
        {
            // Other lone surrogates cannot come from a name we decoded; they are
            // written in the generalised 3-byte form so that nothing is lost.
            q[n++] = (unsigned char)(0xE0 | (u >> 12));
            q[n++] = (unsigned char)(0x80 | ((u >> 6) & 0x3F));
            q[n++] = (unsigned char)(0x80 | (u & 0x3F));
        }
    }
    q[n] = 0;
    if (outLength)
        *outLength = n;
    return out;
}
