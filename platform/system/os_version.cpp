// GetVersionExA and GetSystemDefaultLangID on Linux: the kernel release, the distribution's
// VERSION and the process locale.
#include <sys/utsname.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "platform/errors.h"
#include "platform/os_info.h"

namespace {

// The leading numbers of a kernel release ("6.1.0-18-amd64": 6, 1, 0); missing ones are 0.
void ReleaseNumbers(const char* release, DWORD numbers[3]) {
    const char* at = release;
    for (int i = 0; i < 3; ++i) {
        numbers[i] = 0;
        if (*at < '0' || *at > '9') continue;
        DWORD value = 0;
        while (*at >= '0' && *at <= '9') {
            if (value < 100000000u) value = value * 10 + static_cast<DWORD>(*at - '0');
            ++at;
        }
        numbers[i] = value;
        if (*at != '.') break;
        ++at;
    }
}

struct Language {
    const char* locale;  // "ll_CC"
    LANGID id;
};

// The first row of each language is its default for a territory not listed.
constexpr Language kLanguages[] = {
    {"en_US", 0x0409}, {"en_GB", 0x0809}, {"en_AU", 0x0C09}, {"en_CA", 0x1009}, {"en_NZ", 0x1409},
    {"en_IE", 0x1809}, {"de_DE", 0x0407}, {"de_CH", 0x0807}, {"de_AT", 0x0C07}, {"de_LU", 0x1007},
    {"fr_FR", 0x040C}, {"fr_BE", 0x080C}, {"fr_CA", 0x0C0C}, {"fr_CH", 0x100C}, {"fr_LU", 0x140C},
    {"es_ES", 0x0C0A}, {"es_MX", 0x080A}, {"it_IT", 0x0410}, {"it_CH", 0x0810}, {"nl_NL", 0x0413},
    {"nl_BE", 0x0813}, {"pt_PT", 0x0816}, {"pt_BR", 0x0416}, {"sv_SE", 0x041D}, {"da_DK", 0x0406},
    {"nb_NO", 0x0414}, {"nn_NO", 0x0814}, {"fi_FI", 0x040B}, {"is_IS", 0x040F}, {"pl_PL", 0x0415},
    {"cs_CZ", 0x0405}, {"sk_SK", 0x041B}, {"sl_SI", 0x0424}, {"hu_HU", 0x040E}, {"ro_RO", 0x0418},
    {"hr_HR", 0x041A}, {"bg_BG", 0x0402}, {"ru_RU", 0x0419}, {"uk_UA", 0x0422}, {"el_GR", 0x0408},
    {"tr_TR", 0x041F}, {"he_IL", 0x040D}, {"ar_SA", 0x0401}, {"ja_JP", 0x0411}, {"ko_KR", 0x0412},
    {"zh_CN", 0x0804}, {"zh_TW", 0x0404}, {"zh_HK", 0x0C04}, {"th_TH", 0x041E}, {"et_EE", 0x0425},
    {"lv_LV", 0x0426}, {"lt_LT", 0x0427},
};
constexpr LANGID kDefaultLangId = 0x0409;

}  // namespace

BOOL GetVersionExA(LPOSVERSIONINFOA info) {
    if (info == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (info->dwOSVersionInfoSize < sizeof(OSVERSIONINFOA)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    struct utsname names {};
    if (uname(&names) != 0) {
        SetLastError(ERROR_GEN_FAILURE);
        return FALSE;
    }
    DWORD numbers[3];
    ReleaseNumbers(names.release, numbers);
    info->dwMajorVersion = numbers[0];
    info->dwMinorVersion = numbers[1];
    info->dwBuildNumber = numbers[2];
    info->dwPlatformId = CX_VER_PLATFORM_LINUX;
    info->szCSDVersion[0] = '\0';
    CxOsRelease release;
    if (CxReadOsRelease(&release)) {
        std::snprintf(info->szCSDVersion, sizeof(info->szCSDVersion), "%s",
                      release.version.c_str());
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

LANGID CxLangIdFromLocale(const char* locale) {
    if (locale == nullptr) return kDefaultLangId;
    std::string_view name(locale);
    name = name.substr(0, name.find_first_of(".@"));
    std::string_view language = name.substr(0, name.find('_'));
    if (language.size() < 2 || language.size() > 3) return kDefaultLangId;
    for (const Language& row : kLanguages) {
        if (name == row.locale) return row.id;
    }
    for (const Language& row : kLanguages) {
        if (std::string_view(row.locale).substr(0, 2) == language) return row.id;
    }
    return kDefaultLangId;
}

LANGID GetSystemDefaultLangID() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && value[0] != '\0') return CxLangIdFromLocale(value);
    }
    return kDefaultLangId;
}
