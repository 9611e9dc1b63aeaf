#include "data/culture_table.h"

#include "text/char_class.h"

namespace druvex {
namespace {

// The LCID of each culture name is the platform's; the English and native
// names follow the platform's culture data. Row order matters: lookups answer
// the first match, and culture-name wildcards try the names in this order.
constexpr CultureInfo kCultures[kCultureCount] = {
    {u"af-ZA", 1078, u"Afrikaans", u"South Africa", u"Afrikaans"},
    {u"sq-AL", 1052, u"Albanian", u"Albania", u"Shqip"},
    {u"ar-DZ", 5121, u"Arabic", u"Algeria", u"العربية"},
    {u"ar-BH", 15361, u"Arabic", u"Bahrain", u"العربية"},
    {u"ar-EG", 3073, u"Arabic", u"Egypt", u"العربية"},
    {u"ar-IQ", 2049, u"Arabic", u"Iraq", u"العربية"},
    {u"ar-JO", 11265, u"Arabic", u"Jordan", u"العربية"},
    {u"ar-KW", 13313, u"Arabic", u"Kuwait", u"العربية"},
    {u"ar-LB", 12289, u"Arabic", u"Lebanon", u"العربية"},
    {u"ar-LY", 4097, u"Arabic", u"Libya", u"العربية"},
    {u"ar-MA", 6145, u"Arabic", u"Morocco", u"العربية"},
    {u"ar-OM", 8193, u"Arabic", u"Oman", u"العربية"},
    {u"ar-QA", 16385, u"Arabic", u"Qatar", u"العربية"},
    {u"ar-SA", 1025, u"Arabic", u"Saudi Arabia", u"العربية"},
    {u"ar-SY", 10241, u"Arabic", u"Syria", u"العربية"},
    {u"ar-TN", 7169, u"Arabic", u"Tunisia", u"العربية"},
    {u"ar-AE", 14337, u"Arabic", u"United Arab Emirates", u"العربية"},
    {u"ar-YE", 9217, u"Arabic", u"Yemen", u"العربية"},
    {u"hy-AM", 1067, u"Armenian", u"Armenia", u"Հայերեն"},
    {u"Cy-az-AZ", 2092, u"Azeri (Cyrillic)", u"Azerbaijan", u"Азәрбајҹан"},
    {u"Lt-az-AZ", 1068, u"Azeri (Latin)", u"Azerbaijan", u"Azərbaycan"},
    {u"eu-ES", 1069, u"Basque", u"Spain", u"Euskara"},
    {u"be-BY", 1059, u"Belarusian", u"Belarus", u"Беларуская"},
    {u"bg-BG", 1026, u"Bulgarian", u"Bulgaria", u"Български"},
    {u"ca-ES", 1027, u"Catalan", u"Spain", u"Català"},
    {u"zh-CN", 2052, u"Chinese (Simplified)", u"People's Republic of China", u"中文(简体)"},
    {u"zh-HK", 3076, u"Chinese (Traditional)", u"Hong Kong S.A.R.", u"中文(繁體)"},
    {u"zh-MO", 5124, u"Chinese (Traditional)", u"Macao S.A.R.", u"中文(繁體)"},
    {u"zh-Hans", 4, u"Chinese (Simplified)", u"", u"中文(简体)"},
    {u"zh-SG", 4100, u"Chinese (Simplified)", u"Singapore", u"中文(简体)"},
    {u"zh-TW", 1028, u"Chinese (Traditional)", u"Taiwan", u"中文(繁體)"},
    {u"zh-Hant", 31748, u"Chinese (Traditional)", u"", u"中文(繁體)"},
    {u"hr-HR", 1050, u"Croatian", u"Croatia", u"Hrvatski"},
    {u"cs-CZ", 1029, u"Czech", u"Czech Republic", u"Čeština"},
    {u"da-DK", 1030, u"Danish", u"Denmark", u"Dansk"},
    {u"div-MV", 1125, u"Divehi", u"Maldives", u"ދިވެހިބަސް"},
    {u"nl-BE", 2067, u"Dutch", u"Belgium", u"Nederlands"},
    {u"nl-NL", 1043, u"Dutch", u"Netherlands", u"Nederlands"},
    {u"en-AU", 3081, u"English", u"Australia", u"English"},
    {u"en-BZ", 10249, u"English", u"Belize", u"English"},
    {u"en-CA", 4105, u"English", u"Canada", u"English"},
    {u"en-CB", 9225, u"English", u"Caribbean", u"English"},
    {u"en-IE", 6153, u"English", u"Ireland", u"English"},
    {u"en-JM", 8201, u"English", u"Jamaica", u"English"},
    {u"en-NZ", 5129, u"English", u"New Zealand", u"English"},
    {u"en-PH", 13321, u"English", u"Philippines", u"English"},
    {u"en-ZA", 7177, u"English", u"South Africa", u"English"},
    {u"en-TT", 11273, u"English", u"Trinidad and Tobago", u"English"},
    {u"en-GB", 2057, u"English", u"United Kingdom", u"English"},
    {u"en-US", 1033, u"English", u"United States", u"English"},
    {u"en-ZW", 12297, u"English", u"Zimbabwe", u"English"},
    {u"et-EE", 1061, u"Estonian", u"Estonia", u"Eesti"},
    {u"fo-FO", 1080, u"Faroese", u"Faroe Islands", u"Føroyskt"},
    {u"fa-IR", 1065, u"Farsi", u"Iran", u"فارسی"},
    {u"fi-FI", 1035, u"Finnish", u"Finland", u"Suomi"},
    {u"fr-BE", 2060, u"French", u"Belgium", u"Français"},
    {u"fr-CA", 3084, u"French", u"Canada", u"Français"},
    {u"fr-FR", 1036, u"French", u"France", u"Français"},
    {u"fr-LU", 5132, u"French", u"Luxembourg", u"Français"},
    {u"fr-MC", 6156, u"French", u"Monaco", u"Français"},
    {u"fr-CH", 4108, u"French", u"Switzerland", u"Français"},
    {u"gd-GD", 1084, u"Gaelic (Scotland)", u"United Kingdom", u"Gàidhlig"},
    {u"gd-IE", 2108, u"Gaelic (Ireland)", u"Ireland", u"Gaeilge"},
    {u"gl-ES", 1110, u"Galician", u"Spain", u"Galego"},
    {u"ka-GE", 1079, u"Georgian", u"Georgia", u"ქართული"},
    {u"de-AT", 3079, u"German", u"Austria", u"Deutsch"},
    {u"de-DE", 1031, u"German", u"Germany", u"Deutsch"},
    {u"de-LI", 5127, u"German", u"Liechtenstein", u"Deutsch"},
    {u"de-LU", 4103, u"German", u"Luxembourg", u"Deutsch"},
    {u"de-CH", 2055, u"German", u"Switzerland", u"Deutsch"},
    {u"el-GR", 1032, u"Greek", u"Greece", u"Ελληνικά"},
    {u"gu-IN", 1095, u"Gujarati", u"India", u"ગુજરાતી"},
    {u"he-IL", 1037, u"Hebrew", u"Israel", u"עברית"},
    {u"hi-IN", 1081, u"Hindi", u"India", u"हिन्दी"},
    {u"hu-HU", 1038, u"Hungarian", u"Hungary", u"Magyar"},
    {u"is-IS", 1039, u"Icelandic", u"Iceland", u"Íslenska"},
    {u"id-ID", 1057, u"Indonesian", u"Indonesia", u"Indonesia"},
    {u"xh-ZA", 1076, u"isiXhosa", u"South Africa", u"isiXhosa"},
    {u"zu-ZA", 1077, u"isiZulu", u"South Africa", u"isiZulu"},
    {u"it-IT", 1040, u"Italian", u"Italy", u"Italiano"},
    {u"it-CH", 2064, u"Italian", u"Switzerland", u"Italiano"},
    {u"ja-JP", 1041, u"Japanese", u"Japan", u"日本語"},
    {u"kn-IN", 1099, u"Kannada", u"India", u"ಕನ್ನಡ"},
    {u"kk-KZ", 1087, u"Kazakh", u"Kazakhstan", u"Қазақ тілі"},
    {u"sw-KE", 1089, u"Swahili", u"Kenya", u"Kiswahili"},
    {u"kok-IN", 1111, u"Konkani", u"India", u"कोंकणी"},
    {u"ko-KR", 1042, u"Korean", u"Korea", u"한국어"},
    {u"ky-KZ", 1088, u"Kyrgyz", u"Kyrgyzstan", u"Кыргызча"},
    {u"lv-LV", 1062, u"Latvian", u"Latvia", u"Latviešu"},
    {u"lt-LT", 1063, u"Lithuanian", u"Lithuania", u"Lietuvių"},
    {u"mk-MK", 1071, u"Macedonian", u"Macedonia (FYROM)", u"Македонски"},
    {u"ms-BN", 2110, u"Malay", u"Brunei Darussalam", u"Melayu"},
    {u"ms-MY", 1086, u"Malay", u"Malaysia", u"Melayu"},
    {u"mt-MT", 1082, u"Maltese", u"Malta", u"Malti"},
    {u"mr-IN", 1102, u"Marathi", u"India", u"मराठी"},
    {u"mn-MN", 1104, u"Mongolian", u"Mongolia", u"Монгол"},
    {u"nb-NO", 1044, u"Norwegian (Bokmål)", u"Norway", u"Norsk bokmål"},
    {u"nn-NO", 2068, u"Norwegian (Nynorsk)", u"Norway", u"Norsk nynorsk"},
    {u"pl-PL", 1045, u"Polish", u"Poland", u"Polski"},
    {u"pt-BR", 1046, u"Portuguese", u"Brazil", u"Português"},
    {u"pt-PT", 2070, u"Portuguese", u"Portugal", u"Português"},
    {u"pa-IN", 1094, u"Punjabi", u"India", u"ਪੰਜਾਬੀ"},
    {u"ro-RO", 1048, u"Romanian", u"Romania", u"Română"},
    {u"ro-MO", 2072, u"Romanian", u"Moldova", u"Română"},
    {u"ru-RU", 1049, u"Russian", u"Russia", u"Русский"},
    {u"ru-MO", 2073, u"Russian", u"Moldova", u"Русский"},
    {u"sa-IN", 1103, u"Sanskrit", u"India", u"संस्कृत"},
    {u"Cy-sr-SP", 3098, u"Serbian (Cyrillic)", u"Serbia and Montenegro", u"Српски"},
    {u"Lt-sr-SP", 2074, u"Serbian (Latin)", u"Serbia and Montenegro", u"Srpski"},
    {u"sk-SK", 1051, u"Slovak", u"Slovakia", u"Slovenčina"},
    {u"sl-SI", 1060, u"Slovenian", u"Slovenia", u"Slovenščina"},
    {u"tn-ZA", 1074, u"Setswana", u"South Africa", u"Setswana"},
    {u"es-AR", 11274, u"Spanish", u"Argentina", u"Español"},
    {u"es-BO", 16394, u"Spanish", u"Bolivia", u"Español"},
    {u"es-CL", 13322, u"Spanish", u"Chile", u"Español"},
    {u"es-CO", 9226, u"Spanish", u"Colombia", u"Español"},
    {u"es-CR", 5130, u"Spanish", u"Costa Rica", u"Español"},
    {u"es-DO", 7178, u"Spanish", u"Dominican Republic", u"Español"},
    {u"es-EC", 12298, u"Spanish", u"Ecuador", u"Español"},
    {u"es-SV", 17418, u"Spanish", u"El Salvador", u"Español"},
    {u"es-GT", 4106, u"Spanish", u"Guatemala", u"Español"},
    {u"es-HN", 18442, u"Spanish", u"Honduras", u"Español"},
    {u"es-MX", 2058, u"Spanish", u"Mexico", u"Español"},
    {u"es-NI", 19466, u"Spanish", u"Nicaragua", u"Español"},
    {u"es-PA", 6154, u"Spanish", u"Panama", u"Español"},
    {u"es-PY", 15370, u"Spanish", u"Paraguay", u"Español"},
    {u"es-PE", 10250, u"Spanish", u"Peru", u"Español"},
    {u"es-PR", 20490, u"Spanish", u"Puerto Rico", u"Español"},
    {u"es-ES", 3082, u"Spanish", u"Spain", u"Español"},
    {u"es-UY", 14346, u"Spanish", u"Uruguay", u"Español"},
    {u"es-VE", 8202, u"Spanish", u"Venezuela", u"Español"},
    {u"sv-FI", 2077, u"Swedish", u"Finland", u"Svenska"},
    {u"sv-SE", 1053, u"Swedish", u"Sweden", u"Svenska"},
    {u"syr-SY", 1114, u"Syriac", u"Syria", u"ܣܘܪܝܝܐ"},
    {u"ta-IN", 1097, u"Tamil", u"India", u"தமிழ்"},
    {u"tt-RU", 1092, u"Tatar", u"Russia", u"Татар"},
    {u"te-IN", 1098, u"Telugu", u"India", u"తెలుగు"},
    {u"th-TH", 1054, u"Thai", u"Thailand", u"ไทย"},
    {u"tr-TR", 1055, u"Turkish", u"Turkey", u"Türkçe"},
    {u"uk-UA", 1058, u"Ukrainian", u"Ukraine", u"Українська"},
    {u"wen-DE", 1070, u"Sorbian", u"Germany", u"Serbšćina"},
    {u"ur-PK", 1056, u"Urdu", u"Pakistan", u"اردو"},
    {u"Cy-uz-UZ", 2115, u"Uzbek (Cyrillic)", u"Uzbekistan", u"Ўзбекча"},
    {u"Lt-uz-UZ", 1091, u"Uzbek (Latin)", u"Uzbekistan", u"O'zbek"},
    {u"vi-VN", 1066, u"Vietnamese", u"Vietnam", u"Tiếng Việt"},

};

constexpr std::uint16_t kTraditionalSpanish = 1034;
constexpr std::uint16_t kModernSpanish = 3082;

}  // namespace

const CultureInfo* cultureByIndex(int index)
{
    if (index < 0 || index >= kCultureCount)
        return nullptr;
    return &kCultures[index];
}

int cultureIndexByLcid(std::uint16_t lcid)
{
    if (lcid == kTraditionalSpanish)
        lcid = kModernSpanish;
    for (int index = 0; index < kCultureCount; ++index) {
        if (kCultures[index].lcid == lcid)
            return index;
    }
    return -1;
}

int cultureIndexByName(std::u16string_view name)
{
    for (int index = 0; index < kCultureCount; ++index) {
        if (equalsNoCase(name, kCultures[index].cultureName))
            return index;
    }
    return -1;
}

bool lcidByCultureName(std::u16string_view name, std::uint16_t& lcid)
{
    const int index = cultureIndexByName(name);
    lcid = index < 0 ? 0 : kCultures[index].lcid;
    return index >= 0;
}

bool cultureNameByLcid(std::uint16_t lcid, SharedString& name)
{
    const int index = cultureIndexByLcid(lcid);
    if (index < 0)
        return false;
    name = kCultures[index].cultureName;
    return true;
}

bool languageNameOrCustom(std::u16string_view name, std::uint16_t& lcid)
{
    if (lcidByCultureName(name, lcid))
        return true;
    if (!equalsNoCase(name, kCustomCultureName))
        return false;
    lcid = kCustomLanguageId;
    return true;
}

bool cultureNameOrCustom(std::uint16_t lcid, SharedString& name)
{
    if (cultureNameByLcid(lcid, name))
        return true;
    if (lcid != kCustomLanguageId)
        return false;
    name = kCustomCultureName;
    return true;
}

bool languageDisplayName(std::uint16_t lcid, SharedString& text)
{
    if (lcid == kCustomLanguageId) {
        text = kCustomLanguageName;
        return true;
    }
    const int index = cultureIndexByLcid(lcid);
    if (index < 0)
        return false;
    text = kCultures[index].englishName;
    return true;
}

bool languageNativeName(std::uint16_t lcid, SharedString& text)
{
    if (lcid == kCustomLanguageId) {
        text = kCustomLanguageName;
        return true;
    }
    const int index = cultureIndexByLcid(lcid);
    if (index < 0)
        return false;
    text = kCultures[index].nativeName;
    return true;
}

}  // namespace druvex
