#ifndef VEXA_VEXA_H
#define VEXA_VEXA_H
/*
 * Vexa: the face-effect runtime. It tracks the face in camera frames, opens
 * signed effect bundles and draws their effects into the frames in place.
 *
 * Every call needs the caller's OpenGL context (2.1 or later, compatibility
 * profile, or any context offering GLSL 1.10 shaders and framebuffer objects)
 * current on the calling thread; items keep GL objects of the context that
 * was current when they were created. Calls are not thread-safe: make them
 * from one thread. No call throws; a failing call returns 0 and leaves its
 * reason for lumoGetLastError().
 *
 * Pixel formats: 4 = RGBA, 8 bits per channel, rows top-down, no padding
 * between rows (width * 4 bytes per row).
 */

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define VEXA_API __attribute__((visibility("default")))
#else
#define VEXA_API
#endif

#define VEXA_FORMAT_RGBA 4

/* Reads the set-up data blob (data/vexa/v3.bundle: trusted bundle keys, face
 * model, reference head, tracker settings) and loads the face model. The
 * bytes are copied; the caller keeps ownership. Null, truncated or foreign
 * data, or a missing face model, give 0. Non-zero: the library is ready.
 * A second successful call replaces the settings of the first. */
VEXA_API int lumoSetup(const void* data, int size);

/* Verifies and opens a signed effect bundle (bytes copied; the caller keeps
 * ownership), runs its script's onLoad. Returns a handle > 0, or 0 when the
 * library is not set up or the bundle is refused (unsigned, tampered, signed
 * by an untrusted key, truncated, malformed, script error). */
VEXA_API int lumoCreateItemFromPackage(const void* data, int size);

/* Tracks the face in the input frame and draws the frame with the effects
 * of `items` (count entries, drawn in list order; 0 entries are skipped,
 * unknown or disabled handles are skipped with a reason) into `out`.
 * outFormat and inFormat must be VEXA_FORMAT_RGBA; `in` and `out` may be the
 * same buffer (width * height * 4 bytes each). frameNo is the caller's frame
 * counter. Returns 1 when the frame was drawn, 0 on bad arguments or a GL
 * failure (the output is then left unchanged). */
VEXA_API int lumoRenderItemsEx(int outFormat, unsigned char* out, int inFormat, const unsigned char* in, int width,
                               int height, int frameNo, const int* items, int count);

/* Passes a number to the item's script (effect.onParam(name, value)).
 * "isLandscape" (0/1) and "@refresh" (restart every node) are understood by
 * every 2D effect. Names longer than 199 bytes are refused. */
VEXA_API int lumoItemSetParamd(int item, const char* name, double value);

/* As lumoItemSetParamd with a string value. */
VEXA_API int lumoItemSetParams(int item, const char* name, const char* value);

/* Releases the item and its GL objects. Returns 0 for an unknown handle. */
VEXA_API int lumoDestroyItem(int item);

/* Reason of the last failure on this thread ("" when none); valid until the
 * next call on this thread. */
VEXA_API const char* lumoGetLastError(void);

#ifdef __cplusplus
}
#endif

#endif
