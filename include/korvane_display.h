/*
 * QORD_KORVANE_10 - customer-display driver: the interface for host programs.
 *
 * A point-of-sale host loads the library (QORD_KORVANE_10.so here,
 * QORD_KORVANE_10.dll on Windows) at run time, finds the functions below by
 * name and calls them, one call at a time.
 *
 * Request calls (OPEN, CLOSE, MESSAGE, CLOSEMESSAGE, RECEIPT, THANKYOU, IDLE)
 *   aXml          in:  the XML request (a BSTR the host owns and keeps).
 *   aOutput       out: the result envelope, a new BSTR the host must release
 *                      with SysFreeString.
 *   aErrorMessage out: the error text (unescaped), a new BSTR the host must
 *                      release, or null when there is no error.
 *   result:       0 on success, -1 on failure.
 * On entry both out-variables are set to null without releasing what they
 * held: release older strings before the call. A null out-pointer is not
 * written through.
 *
 * The result envelope is four (OPEN) or three pieces joined by CR LF, with no
 * line break after the last and no enclosing element:
 *   <Handle>1</Handle>                       (OPEN only; 0 when none opened)
 *   <Error>False</Error>                     ("True" on failure)
 *   <ErrorText></ErrorText>                  (the error, XML-escaped)
 *   <LogFileName>/pos/LogFiles/CustomerDisplay/QORD_KORVANE_10_1_20240917.log</LogFileName>
 *
 * VERSION
 *   aDriverName   the driver name, exactly "QORD_KORVANE_10".
 *   aOutput       receives the version text ("Version 1.01 - 17/09/2024"), or
 *                 null when no driver of that name is registered.
 *   aErrorMessage cleared, never written.
 *   result:       always 0.
 *
 * Strings are OLE Automation strings (BSTR): UTF-16 code units preceded by
 * a 32-bit length in bytes and followed by a zero unit. A null BSTR is the
 * empty string. On this platform the library exports SysAllocStringLen,
 * SysAllocString, SysFreeString and SysStringLen for making and releasing
 * them; on Windows they come from OleAut32.
 */
#ifndef KORVANE_DISPLAY_H
#define KORVANE_DISPLAY_H

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define KORVANE_CALL __stdcall
#else
#define KORVANE_CALL
#endif

#if defined(_WIN32)
#define KORVANE_API __declspec(dllexport)
#else
#define KORVANE_API __attribute__((visibility("default")))
#endif

#if defined(_WIN32)
/* The system's own OLECHAR and BSTR, as <windows.h> has them. */
#include <wtypes.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif
#if !defined(_WIN32)
#ifdef __cplusplus
typedef char16_t OLECHAR;
#else
typedef uint16_t OLECHAR;
#endif
typedef OLECHAR* BSTR;
#endif

typedef int16_t(KORVANE_CALL* KorvaneRequestCall)(BSTR aXml, BSTR* aOutput, BSTR* aErrorMessage);

KORVANE_API int16_t KORVANE_CALL OPEN(BSTR aXml, BSTR* aOutput, BSTR* aErrorMessage);
KORVANE_API int16_t KORVANE_CALL CLOSE(BSTR aXml, BSTR* aOutput, BSTR* aErrorMessage);
KORVANE_API int16_t KORVANE_CALL MESSAGE(BSTR aXml, BSTR* aOutput, BSTR* aErrorMessage);
KORVANE_API int16_t KORVANE_CALL CLOSEMESSAGE(BSTR aXml, BSTR* aOutput, BSTR* aErrorMessage);
KORVANE_API int16_t KORVANE_CALL RECEIPT(BSTR aXml, BSTR* aOutput, BSTR* aErrorMessage);
KORVANE_API int16_t KORVANE_CALL THANKYOU(BSTR aXml, BSTR* aOutput, BSTR* aErrorMessage);
KORVANE_API int16_t KORVANE_CALL IDLE(BSTR aXml, BSTR* aOutput, BSTR* aErrorMessage);
KORVANE_API int16_t KORVANE_CALL VERSION(BSTR aDriverName, BSTR* aOutput, BSTR* aErrorMessage);

#if !defined(_WIN32)
typedef BSTR (*KorvaneSysAllocStringLen)(const OLECHAR* aText, uint32_t aLength);
typedef BSTR (*KorvaneSysAllocString)(const OLECHAR* aText);
typedef void (*KorvaneSysFreeString)(BSTR aText);
typedef uint32_t (*KorvaneSysStringLen)(BSTR aText);

KORVANE_API BSTR SysAllocStringLen(const OLECHAR* aText, uint32_t aLength);
KORVANE_API BSTR SysAllocString(const OLECHAR* aText);
KORVANE_API void SysFreeString(BSTR aText);
KORVANE_API uint32_t SysStringLen(BSTR aText);
#endif

#ifdef __cplusplus
}
#endif

#endif /* KORVANE_DISPLAY_H */
