/* What the two halves of framework_client share: the C side's Win32
 * services and the C++ side's checks. */
#ifndef FRAMEWORK_CLIENT_H
#define FRAMEWORK_CLIENT_H

#ifdef __cplusplus
extern "C" {
#endif

/* The fixture's root folder. */
#define FC_ROOT L"C:\\Fw Pr\x00fc" L"fung"

void FcReport(const char *what);
/* The same for a code that is not the one expected. */
void FcReportCode(const char *what, long long code);
/* The bytes of a file (at most `size`), -1 when it cannot be opened. */
long FcReadFile(const wchar_t *path, char *out, long size);
/* Runs body(first) and body(second) on two threads at once. */
void FcRunTwoThreads(void (*body)(void *), void *first, void *second);
/* Every check of the front end; failures go to FcReport. */
void FcRunChecks(void);

#ifdef __cplusplus
}
#endif

#endif
