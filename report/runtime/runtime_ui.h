/* The window side of "Runtime.lib": message boxes and progress windows in a Qt host.
 *
 * Runtime.lib itself never links Qt, so that it loads in processes without it (the report
 * tools, the sanitizer builds). When a routine wants a window and the process already has the Qt
 * widgets library loaded, Runtime.lib loads "RuntimeUi.so" from its own folder and asks this
 * table whether windows can be shown now; when they cannot (no QApplication, another thread than
 * the application's, or a platform without a display) it keeps the standard-error forms.
 *
 * Every routine is extern "C", never throws, and is called on the thread that `available`
 * accepted. Texts are NUL-terminated cp1251. Later versions only append members.
 */
#ifndef ZENTRA_RUNTIME_UI_H
#define ZENTRA_RUNTIME_UI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define KR_UI_API_VERSION 1

typedef struct KrUiApiV1 {
    uint32_t version; /* KR_UI_API_VERSION of the table handed out */
    uint32_t size;    /* sizeof the table */

    /* 1 when windows can be shown now: a QApplication exists, the caller is on its thread, and
     * the platform has a display (not "offscreen" or "minimal") or windows are forced. */
    int32_t (*available)(void);
    /* A modal message box with caption `title` and text `text`; returns when it is closed:
     * 0, or -1 when no box could be shown (the caller then writes the message elsewhere). */
    int32_t (*show_message)(const char* text, const char* title);
    /* Shows a progress window with `message` under `handle` (Runtime.lib's handle). 0 or -1. */
    int32_t (*start_visual)(int32_t handle, const char* message);
    /* Closes the progress window of `handle`; nothing when there is none. */
    void (*stop_visual)(int32_t handle);
    /* Closes every progress window still open (the end of a run). */
    void (*close_all)(void);
    /* For tests only: with `on` nonzero, windows are shown also on platforms without a display,
     * so that offscreen tests can drive the windowed forms. */
    void (*force_windows)(int32_t on);
} KrUiApiV1;

/* The interface table of `version`, or a null pointer when the library does not offer it. */
const void* KrUi_GetApi(int32_t version);

#ifdef __cplusplus
}
#endif

#endif
