/* A network provider DLL that answers for the network type of a guest's
 * shared folders.  Registered under the provider order of a dressed prefix,
 * it lets WNetGetProviderNameW(WNNC_NET_RDR2SAMPLE) name the provider. */
#include <windows.h>
#include <npapi.h>

/* The type VirtualBox's shared folders provider reports. */
#define SHARED_FOLDERS_NET_TYPE 0x00250000

DWORD APIENTRY NPGetCaps(DWORD index) {
    switch (index) {
        case WNNC_SPEC_VERSION: return WNNC_SPEC_VERSION51;
        case WNNC_NET_TYPE: return SHARED_FOLDERS_NET_TYPE;
        default: return 0;
    }
}
