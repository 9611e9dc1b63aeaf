// The update bulletin's XML reader and the checks on what a bulletin names:
// its addresses and its feature names.
#include <cstdint>
#include <memory>
#include <set>
#include <string_view>

#include "app_base/target_platform.h"
#include "core/app_log.h"
#include "platform/input_limits.h"
#include "core/xml_reader.h"
#include "data/feature.h"
#include "data/item_xml.h"
#include "data/xml_attributes.h"
#include "data/xml_values.h"
#include "fileutil/file_util.h"
#include "liveupdate/update_bulletin.h"
#include "text/char_class.h"

namespace druvex {

namespace {

constexpr std::u16string_view kHttp = u"http://";
constexpr std::u16string_view kHttps = u"https://";

bool startsWithNoCase(std::u16string_view text, std::u16string_view prefix)
{
    return text.size() >= prefix.size() && equalsNoCase(text.substr(0, prefix.size()), prefix);
}

// The length of the scheme with its "://", 0 for any scheme but http and https.
std::size_t httpSchemeLength(std::u16string_view url)
{
    if (startsWithNoCase(url, kHttp))
        return kHttp.size();
    if (startsWithNoCase(url, kHttps))
        return kHttps.size();
    return 0;
}

// Where the host part that starts at `from` ends.
std::size_t authorityEnd(std::u16string_view url, std::size_t from)
{
    const std::size_t end = url.find_first_of(u"/?#", from);
    return end == std::u16string_view::npos ? url.size() : end;
}

bool isSafeNameChar(char16_t ch)
{
    if (ch < 0x20 || ch == 0x7F)
        return false;
    switch (ch) {
    case u'\\':
    case u':':
    case u'*':
    case u'?':
    case u'"':
    case u'<':
    case u'>':
    case u'|':
        return false;
    default:
        return true;
    }
}

bool isSafeNamePart(std::u16string_view part)
{
    if (part.empty() || part == u"." || part == u"..")
        return false;
    for (const char16_t ch : part) {
        if (!isSafeNameChar(ch))
            return false;
    }
    return true;
}

// Resolves a bulletin's addresses against the bulletin's own: the base is
// checked and split once, since a bulletin names thousands of addresses.
class UrlResolver {
public:
    explicit UrlResolver(const SharedString& baseUrl)
    {
        std::u16string_view base = baseUrl.view();
        if (!isFetchableUrl(base))
            return;
        base = base.substr(0, base.find_first_of(u"?#"));
        const std::size_t originEnd = authorityEnd(base, httpSchemeLength(base));
        const std::size_t lastSeparator = base.find_last_of(u"/\\");
        origin_ = SharedString(base.substr(0, originEnd));
        parent_ = lastSeparator != std::u16string_view::npos && lastSeparator >= originEnd
                      ? SharedString(base.substr(0, lastSeparator))
                      : origin_;
        valid_ = true;
    }

    bool resolve(const SharedString& url, SharedString& out) const
    {
        out.clear();
        if (url.isEmpty())
            return true;
        if (httpSchemeLength(url.view()) != 0) {
            if (!isFetchableUrl(url.view()))
                return false;
            out = url;
            return true;
        }
        // Another scheme ("file:", "ftp:") or a drive ("C:") is never relative.
        const std::size_t colon = url.view().find(u':');
        if (!valid_ || (colon != std::u16string_view::npos && colon < url.view().find_first_of(u"/\\?#")))
            return false;
        SharedString resolved = resolveRelativePath(parent_, url);
        resolved.replaceChar(u'\\', u'/');
        // Leading ".." steps take folders off the base; one too many would
        // take the server's name itself and leave a different server behind.
        const std::u16string_view origin = origin_.view();
        const std::u16string_view text = resolved.view();
        if (text.size() <= origin.size() || text.substr(0, origin.size()) != origin ||
            text[origin.size()] != u'/' || !isFetchableUrl(text))
            return false;
        out = std::move(resolved);
        return true;
    }

private:
    bool valid_ = false;
    SharedString origin_;
    SharedString parent_;
};

// The bulletin's elements, matched without regard to case.
enum class Element {
    BulletinStatus,
    Installer,
    EmptyInstaller,
    InstallerLanguage,
    Version,
    ReleaseNotes,
    FullInstaller,
    Feature,
    ComponentFeature,
    UserFolder,
    InstallerVariable,
    Definition,
    MergeProject,
    Other,
};

Element elementOf(const XmlNameSpan& name)
{
    static constexpr std::pair<std::string_view, Element> kNames[] = {
        {"Feature", Element::Feature},
        {"ComponentFeature", Element::ComponentFeature},
        {"Version", Element::Version},
        {"FullInstaller", Element::FullInstaller},
        {"ReleaseNotes", Element::ReleaseNotes},
        {"InstallerVariable", Element::InstallerVariable},
        {"Definition", Element::Definition},
        {"UserFolder", Element::UserFolder},
        {"MergeProject", Element::MergeProject},
        {"EmptyInstaller", Element::EmptyInstaller},
        {"InstallerLanguage", Element::InstallerLanguage},
        {"Installer", Element::Installer},
        {"BulletinStatus", Element::BulletinStatus},
    };
    for (const auto& [text, element] : kNames) {
        if (xmlNameEquals(name, text))
            return element;
    }
    return Element::Other;
}

// A bulletin's text as it goes into a log line: a control character would
// let the network write lines of its own into the log.
SharedString loggable(const SharedString& text)
{
    SharedString copy = text;
    for (char16_t control = 0; control < 0x20; ++control)
        copy.replaceChar(control, u'?');
    return copy;
}

SharedString nameText(const XmlNameSpan& name)
{
    return loggable(SharedString::fromCodePage(name.begin, static_cast<int>(name.size()), 65001));
}

class BulletinHandler final : public XmlHandler {
public:
    BulletinHandler(UpdateBulletin& bulletin, const SharedString& baseUrl, bool sortFeatures, bool acceptOldName)
        : bulletin_(bulletin), urls_(baseUrl), sortFeatures_(sortFeatures), acceptOldName_(acceptOldName)
    {
    }

    // Why the walk was refused; empty when the handler did not refuse.
    const SharedString& reason() const { return reason_; }

    bool startElement(const XmlNameSpan& name, const XmlAttributeList& attributes, const SharedString& text) override
    {
        if (++depth_ > kMaxBulletinNesting)
            return refuse(SharedString().format(u"elements are nested deeper than %u", kMaxBulletinNesting));
        const Element element = elementOf(name);
        if (element == Element::Other)
            return true;
        if (element != Element::BulletinStatus && element != Element::Installer && ++records_ > kMaxBulletinRecords)
            return refuse(SharedString().format(u"it holds more than %u records", kMaxBulletinRecords));
        if (!readElement(element, attributes, text))
            return refuse(reason_.isEmpty() ? SharedString(u"the \"") + nameText(name) + u"\" element is refused"
                                            : reason_);
        return true;
    }

    bool endElement(const XmlNameSpan& name) override
    {
        --depth_;
        if (xmlNameEquals(name, "Version"))
            return endVersion();
        if (xmlNameEquals(name, "InstallerVariable")) {
            if (!version_ || !variable_)
                return refuse(u"an \"InstallerVariable\" ends that was not open");
            version_->getVariables().append(std::move(variable_));
            return true;
        }
        if (xmlNameEquals(name, "MergeProject")) {
            if (!version_ || !mergeProject_)
                return refuse(u"a \"MergeProject\" ends that was not open");
            mergeProject_.reset();
            return true;
        }
        return true;
    }

private:
    bool refuse(const SharedString& reason)
    {
        if (reason_.isEmpty())
            reason_ = reason;
        return false;
    }

    bool refuse(const char16_t* reason) { return refuse(SharedString(reason)); }

    bool readElement(Element element, const XmlAttributeList& attributes, const SharedString& text)
    {
        switch (element) {
        case Element::BulletinStatus:
            return readStatus(text);
        case Element::Installer:
            return readInstaller(attributes);
        case Element::EmptyInstaller:
            return !version_ && readEmptyInstaller(attributes);
        case Element::InstallerLanguage:
            return !version_ && attributes.size() >= 3 && readInstallerLanguage(attributes);
        case Element::Version:
            return !version_ && startVersion(attributes);
        case Element::ReleaseNotes:
            if (!version_)
                return false;
            version_->setReleaseNotes(text);
            return true;
        case Element::FullInstaller:
            return version_ && attributes.size() >= 3 && readFullInstaller(attributes);
        case Element::Feature:
            return version_ && attributes.size() >= 3 && readFeature(attributes);
        case Element::ComponentFeature:
            if (!version_ || container().empty())
                return false;
            container().back()->addComponentFeature(text);
            return true;
        case Element::UserFolder:
            return version_ && attributes.size() >= 3 && readUserFolder(attributes);
        case Element::InstallerVariable:
            return version_ && !variable_ && !attributes.empty() && startVariable(attributes);
        case Element::Definition:
            return variable_ && variable_->readDefinition(attributes, text);
        case Element::MergeProject:
            return version_ && !mergeProject_ && startMergeProject(attributes);
        case Element::Other:
            break;
        }
        return true;
    }

    std::vector<FeaturePtr>& container() { return mergeProject_ ? mergeProject_->features : versionFeatures_; }

    bool readStatus(const SharedString& text)
    {
        SharedString word = text;
        word.trimLeft();
        word.trimRight();
        if (equalsNoCase(word.view(), u"OnlyPlatformIndependent"))
            bulletin_.setStatus(kBulletinStatusOnlyPlatformIndependent);
        else if (equalsNoCase(word.view(), u"Rejected"))
            bulletin_.setStatus(kBulletinStatusRejected);
        else
            bulletin_.setStatus(kBulletinStatusNormal);
        return true;
    }

    bool readInstaller(const XmlAttributeList& attributes)
    {
        if (attributes.empty())
            return false;
        const XmlAttribute& first = attributes.front();
        if (!xmlNameEquals(first.name, "InstallerVersion") &&
            !(acceptOldName_ && xmlNameEquals(first.name, "InstallerVer")))
            return false;
        VersionNumber version;
        if (!version.parse(first.value.view()))
            return false;
        bulletin_.setInstallerVersion(version);
        return true;
    }

    bool readEmptyInstaller(const XmlAttributeList& attributes)
    {
        const XmlAttribute* platform = findXmlAttribute(attributes, "platform");
        const XmlAttribute* revision = findXmlAttribute(attributes, "revision");
        if (!platform || !revision)
            return false;
        auto entry = std::make_shared<EmptyInstallerEntry>();
        entry->platform = parsePlatform(platform->value.view());
        if (entry->platform == kPlatformUnknown)
            return false;
        entry->revision = static_cast<std::uint32_t>(intValue(revision->value));
        entry->size = static_cast<std::uint64_t>(int64Attribute(attributes, "size", 0));
        entry->digest = xmlAttributeValue(attributes, "digest");
        const std::int64_t seconds = int64Attribute(attributes, "timestamp", 0);
        entry->timeStamp = seconds == 0 ? TimeStamp::now() : TimeStamp(seconds);
        entry->updateMask = static_cast<std::uint32_t>(intAttribute(attributes, "updateMask", 0));
        const SharedString url = xmlAttributeValue(attributes, "url");
        if (url.isEmpty() || entry->size == 0)
            return true;
        if (!absoluteUrl(url, entry->url))
            return false;
        bulletin_.addEmptyInstaller(std::move(entry));
        return true;
    }

    bool readInstallerLanguage(const XmlAttributeList& attributes)
    {
        auto entry = std::make_shared<InstallerLanguageEntry>();
        entry->localeId = static_cast<std::uint32_t>(intAttribute(attributes, "localeID", 0));
        if (entry->localeId == 0)
            return true;
        entry->digest = xmlAttributeValue(attributes, "digest");
        if (!absoluteUrl(xmlAttributeValue(attributes, "url"), entry->url))
            return false;
        bulletin_.addInstallerLanguage(std::move(entry));
        return true;
    }

    bool startVersion(const XmlAttributeList& attributes)
    {
        const XmlAttribute* ver = findXmlAttribute(attributes, "Ver");
        if (!ver)
            return refuse(u"a \"Version\" has no \"Ver\"");
        auto version = std::make_shared<BulletinVersion>();
        VersionNumber number;
        if (!number.parse(ver->value.view()))
            return false;
        version->setVer(number);
        const SharedString revNum = xmlAttributeValue(attributes, "RevNum");
        if (!revNum.isEmpty()) {
            VersionNumber revision;
            if (!revision.parse(revNum.view()))
                return false;
            version->setRevNum(revision);
        }
        bulletin_.addVersion(version);
        version_ = std::move(version);
        return true;
    }

    bool endVersion()
    {
        if (!version_)
            return refuse(u"a \"Version\" ends that was not open");
        if (variable_)
            return refuse(u"a \"Version\" ends inside an \"InstallerVariable\"");
        if (mergeProject_)
            return refuse(u"a \"Version\" ends inside a \"MergeProject\"");
        for (FeaturePtr& feature : versionFeatures_)
            version_->addFeature(std::move(feature));
        versionFeatures_.clear();
        if (sortFeatures_)
            version_->sortFeatures();
        for (const std::uint16_t id : localeIds_)
            version_->addLocaleId(id);
        localeIds_.clear();
        version_.reset();
        return true;
    }

    bool readFullInstaller(const XmlAttributeList& attributes)
    {
        FullInstallerEntry entry;
        entry.setTargetPlatformMask(parsePlatformList(xmlAttributeValue(attributes, "prog-platform-mask").view()));
        if (entry.getTargetPlatformMask() == 0)
            return true;
        entry.setInstallerPlatform(parseInstallerPlatform(xmlAttributeValue(attributes, "inst-platform").view()));
        entry.setInstallerType(parseInstallerType(xmlAttributeValue(attributes, "inst-type").view()));
        entry.size = static_cast<std::uint32_t>(intAttribute(attributes, "size", 0));
        if (!absoluteUrl(xmlAttributeValue(attributes, "url"), entry.url))
            return false;
        version_->addFullInstaller(std::move(entry));
        return true;
    }

    bool readFeature(const XmlAttributeList& attributes)
    {
        FeaturePtr feature = makeFeaturePtr();
        if (!readFeatureAttributes(*feature, attributes))
            return false;
        if (!isSafeBulletinName(feature->getNameRef().view()))
            return refuse(SharedString(u"the feature name \"") + loggable(feature->getNameRef()) +
                          u"\" is not a safe path");
        SharedString url;
        if (!absoluteUrl(feature->getUrl(), url))
            return false;
        feature->setUrl(url);
        if (feature->getLocaleId() != 0)
            localeIds_.insert(feature->getLocaleId());
        container().push_back(std::move(feature));
        return true;
    }

    bool readUserFolder(const XmlAttributeList& attributes)
    {
        const SharedString name = xmlAttributeValue(attributes, "name");
        if (name.isEmpty())
            return false;
        InstallerVariablePtr variable = InstallerVariable::create(name);
        variable->setValue(kPlatformWindows, kVariableAllUsers, xmlAttributeValue(attributes, "defWindows"));
        variable->setValue(kPlatformControllers, kVariableAllUsers, xmlAttributeValue(attributes, "defController"));
        version_->getVariables().append(std::move(variable));
        return true;
    }

    bool startVariable(const XmlAttributeList& attributes)
    {
        const SharedString name = xmlAttributeValue(attributes, "name");
        if (name.isEmpty())
            return false;
        variable_ = InstallerVariable::create(name);
        variable_->setPersistent(xmlAttributeValue(attributes, "persistent") == u"yes");
        return true;
    }

    bool startMergeProject(const XmlAttributeList& attributes)
    {
        if (attributes.empty() || !xmlNameEquals(attributes.front().name, "name"))
            return false;
        if (!isSafeBulletinName(attributes.front().value.view()))
            return refuse(SharedString(u"the merge project name \"") + loggable(attributes.front().value) +
                          u"\" is not a safe path");
        auto project = std::make_shared<MergeProject>();
        project->name = attributes.front().value;
        version_->addMergeProject(project);
        mergeProject_ = std::move(project);
        return true;
    }

    bool absoluteUrl(const SharedString& url, SharedString& out)
    {
        if (urls_.resolve(url, out))
            return true;
        return refuse(SharedString(u"the address \"") + loggable(url) +
                      u"\" is not an http or https address on its server");
    }

    UpdateBulletin& bulletin_;
    const UrlResolver urls_;
    const bool sortFeatures_;
    const bool acceptOldName_;
    BulletinVersionPtr version_;
    // The open version's own features, handed over at its end tag (the
    // merge projects keep theirs).
    std::vector<FeaturePtr> versionFeatures_;
    std::shared_ptr<MergeProject> mergeProject_;
    InstallerVariablePtr variable_;
    std::set<std::uint16_t> localeIds_;
    std::uint32_t depth_ = 0;
    std::uint32_t records_ = 0;
    SharedString reason_;
};

}  // namespace

bool parseBulletinXml(const void* bytes, std::size_t size, UpdateBulletin& bulletin, const SharedString& baseUrl,
                      bool sortFeatures, bool acceptOldInstallerVersionName)
{
    if (size > kMaxXmlFragmentSize) {
        logPrintf(u"Update bulletin refused: %I64u bytes exceed the limit of %I64u", std::uint64_t{size},
                  kMaxXmlFragmentSize);
        return false;
    }
    BulletinHandler handler(bulletin, baseUrl, sortFeatures, acceptOldInstallerVersionName);
    XmlReader reader;
    if (!bytes || !reader.setInput(bytes, size)) {
        logPrintf(u"Update bulletin refused: there is no document");
        return false;
    }
    if (!reader.parse(handler)) {
        const XmlParseError& error = reader.lastError();
        if (handler.reason().isEmpty())
            logPrintf(u"Update bulletin refused at byte %I64u: %hs", std::uint64_t{error.offset}, error.rule);
        else
            logPrintf(u"Update bulletin refused at byte %I64u: %s", std::uint64_t{error.offset}, handler.reason());
        return false;
    }
    if (bulletin.getVersionCount() == 0) {
        logPrintf(u"Update bulletin refused: it holds no version");
        return false;
    }
    return true;
}

bool isFetchableUrl(std::u16string_view url)
{
    const std::size_t scheme = httpSchemeLength(url);
    if (scheme == 0)
        return false;
    for (const char16_t ch : url) {
        if (ch <= 0x20 || ch == 0x7F)
            return false;
    }
    const std::u16string_view authority = url.substr(scheme, authorityEnd(url, scheme) - scheme);
    // A bulletin has no reason to carry user information, and
    // "http://server@elsewhere/" only looks like the server.
    return !authority.empty() && authority.find_first_of(u"@\\") == std::u16string_view::npos;
}

bool resolveBulletinUrl(const SharedString& baseUrl, const SharedString& url, SharedString& out)
{
    return UrlResolver(baseUrl).resolve(url, out);
}

bool isSafeBulletinName(std::u16string_view name)
{
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = name.find(u'/', start);
        if (!isSafeNamePart(name.substr(start, end == std::u16string_view::npos ? end : end - start)))
            return false;
        if (end == std::u16string_view::npos)
            return true;
        start = end + 1;
    }
}

}  // namespace druvex
