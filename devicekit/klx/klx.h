#pragma once
// Stand-in for the maker's USB transfer library: one device connection per process, reached
// through the device agent (ZARNIK_DEVICE, default 127.0.0.1:9470). Paths are device paths in
// the device's 8-bit code page; PC paths of the form ".\name" name files of the process's
// working folder. Every call returns 0 on failure.
#ifdef __cplusplus
extern "C" {
#endif

// Once per connection, before KLXConnectDevice; the argument is kept for the maker's flags.
int KLXInitialize(int flags);
// Exactly 1 when the device is connected; a connection already open is replaced by a new one.
int KLXConnectDevice(void);
// Non-zero once the whole file arrived; the PC file is replaced only then.
int KLXCopyFileFromDevice(const char* devicePath, const char* pcPath);
// Non-zero once the device holds the whole file; the device file is replaced only then.
int KLXCopyFileToDevice(const char* pcPath, const char* devicePath);
int KLXCreateProcess(const char* program, const char* arguments);
int KLXDeleteFile(const char* devicePath);

// Not the maker's: the agent's address for tests; null or empty goes back to ZARNIK_DEVICE.
void KLXSetDeviceAddress(const char* address);
// Not the maker's: what the last failed call met, for a person ("connection refused at ...");
// empty after a success. Valid until the next call.
const char* KLXLastFailure(void);
// Not the maker's: called after each piece of a copy with the bytes done and the file's size;
// null stops it.
typedef void (*KLXProgress)(void* context, unsigned long long done, unsigned long long total);
void KLXSetProgress(KLXProgress progress, void* context);

#ifdef __cplusplus
}
#endif
