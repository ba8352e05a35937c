/* A Linux preload library (built with the host compiler, not for Windows)
 * that makes sysinfo(2) report a small machine: Wine's GlobalMemoryStatusEx
 * and WMI take the physical memory size from it.
 *
 *   LD_PRELOAD=sysinfo_override.so CORVANE_E2E_MEMORY_MIB=512 wine ...
 */
#define _GNU_SOURCE
#include <stdlib.h>
#include <sys/syscall.h>
#include <sys/sysinfo.h>
#include <unistd.h>

int sysinfo(struct sysinfo* info) {
    if (syscall(SYS_sysinfo, info) != 0) return -1;
    const char* text = getenv("CORVANE_E2E_MEMORY_MIB");
    const unsigned long long mib = text ? strtoull(text, NULL, 10) : 0;
    if (mib == 0 || info->mem_unit == 0) return 0;
    const unsigned long long units = mib * 1024 * 1024 / info->mem_unit;
    info->totalram = units;
    if (info->freeram > units / 2) info->freeram = units / 2;
    if (info->bufferram > units / 4) info->bufferram = units / 4;
    if (info->sharedram > units / 4) info->sharedram = units / 4;
    return 0;
}
