// SPDX-License-Identifier: GPL-3.0-or-later
#include "sites/profiles/profile_store.h"

#include "ftp/replace_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sstream>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr char kProfileFile[] = "Tessaline.site";
constexpr char kEarlierFile[] = "Tessa.INI";
constexpr char kEarlierBackup[] = "TessaBak.INI";
constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";
// Marks a section whose values are written with "\\n" for a line break and "\\\\" for a backslash.
// Sections that need neither are written as files always were, so older programs read them alike.
constexpr std::string_view kEscapedKey = "ESCAPED";
// The value of "PROTOCOL=" for an SFTP site; any other value is FTP.
constexpr std::string_view kSftpValue = "SFTP";

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

std::string Failure(const std::string& path, int error)
{
    return path + ": " + std::strerror(error);
}

// Only a regular file can be read: a FIFO would block the start-up (hence the non-blocking open).
// Nothing at `path` leaves `failure` empty; anything else there that cannot be read says why.
File OpenRegularFile(const std::string& path, std::string& failure)
{
    failure.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT)
            failure = Failure(path, errno);
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        failure = path + ": not a regular file";
        ::close(fd);
        return nullptr;
    }
    File file(::fdopen(fd, "r"));
    if (!file) {
        failure = Failure(path, errno);
        ::close(fd);
    }
    return file;
}

// Calls `take(line, whole)` with each line of `file` without its LF or CR LF, and a UTF-8 byte
// order mark before the first line dropped. A line longer than kLongestProfileLine is never taken
// as a value: it comes with `whole` false and only its first kLongestProfileLine characters, so
// the reader can still see whether it was a section header. False on a read error.
template <typename Take>
bool ForEachLine(std::FILE* file, Take take)
{
    // Room for the longest line, its CR and a byte order mark.
    constexpr std::size_t kKept = kLongestProfileLine + 1 + kUtf8ByteOrderMark.size();
    std::string line;
    bool tooLong = false;
    bool first = true;
    const auto endLine = [&] {
        if (first && line.starts_with(kUtf8ByteOrderMark))
            line.erase(0, kUtf8ByteOrderMark.size());
        first = false;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        tooLong = tooLong || line.size() > kLongestProfileLine;
        if (tooLong)
            line.resize(std::min(line.size(), kLongestProfileLine));
        take(line, !tooLong);
        line.clear();
        tooLong = false;
    };
    char chunk[1 << 16];
    std::size_t size = 0;
    while ((size = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        std::string_view rest(chunk, size);
        for (;;) {
            const std::size_t end = rest.find('\n');
            const std::size_t piece = std::min(end, rest.size());
            const std::size_t room = kKept - line.size();
            line.append(rest.substr(0, std::min(piece, room)));
            tooLong = tooLong || piece > room;
            if (end == std::string_view::npos)
                break;
            endLine();
            rest.remove_prefix(end + 1);
        }
    }
    if (!line.empty() || tooLong)
        endLine();
    return !std::ferror(file);
}

std::string Trimmed(const std::string& line)
{
    constexpr char kWhiteSpace[] = " \t\r\n";
    const std::size_t first = line.find_first_not_of(kWhiteSpace);
    if (first == std::string::npos)
        return {};
    return line.substr(first, line.find_last_not_of(kWhiteSpace) - first + 1);
}

// Profiles of earlier versions name the earlier executable for the program's own icons; the
// current executable holds the same icons at the same indexes.
std::string CurrentIconReference(std::string icon)
{
    constexpr std::string_view kEarlierExecutable = "Tessa.exe";
    const std::size_t at = icon.find(kEarlierExecutable);
    if (at != std::string::npos)
        icon.replace(at, kEarlierExecutable.size(), "Tessaline.exe");
    return icon;
}

// A key line of the open section. Keys match exactly ("HOST =x" is no HOST line); the line is
// trimmed already, so the value keeps only its leading white space.
void ApplyKeyLine(CSiteProfile& profile, const std::string& line)
{
    static const std::pair<std::string_view, std::string CSiteProfile::*> kTexts[] = {
        {"HOST", &CSiteProfile::host},
        {"ACCOUNT", &CSiteProfile::account},
        {"UID", &CSiteProfile::userId},
        {"PASSWORD", &CSiteProfile::password},
        {"GROUP", &CSiteProfile::group},
        {"LOCALDIR", &CSiteProfile::localDirectory},
        {"REMOTEDIR", &CSiteProfile::remoteDirectory},
        {"COMMENT", &CSiteProfile::comment},
    };
    static const std::pair<std::string_view, int CSiteProfile::*> kFlags[] = {
        {"SAVPWD", &CSiteProfile::savePassword},
        {"PROMPT?", &CSiteProfile::prompt},
        {"FIREWALL?", &CSiteProfile::useFirewall},
    };
    const std::size_t equals = line.find('=');
    const std::string_view key = std::string_view(line).substr(0, equals);
    const std::string value = equals == std::string::npos ? std::string() : line.substr(equals + 1);
    if (key == "ICON") {
        profile.icon = CurrentIconReference(value);
        return;
    }
    // A value this program does not know keeps the default: TLS when the server offers it.
    if (key == "ENCRYPTION") {
        profile.encryption = value.size() == 1 && value[0] >= '0' && value[0] <= '3' ? value[0] - '0' : 0;
        return;
    }
    if (key == "PROTOCOL") {
        profile.protocol = value == kSftpValue ? RemoteProtocol::Sftp : RemoteProtocol::Ftp;
        return;
    }
    for (const auto& [name, field] : kTexts) {
        if (key == name) {
            profile.*field = value;
            return;
        }
    }
    for (const auto& [name, field] : kFlags) {
        if (key == name) {
            profile.*field = value == "TRUE";
            return;
        }
    }
}

// Every text of a profile, the name first.
constexpr std::string CSiteProfile::*kTextFields[] = {
    &CSiteProfile::name,    &CSiteProfile::host,           &CSiteProfile::account,
    &CSiteProfile::userId,  &CSiteProfile::password,       &CSiteProfile::icon,
    &CSiteProfile::group,   &CSiteProfile::localDirectory, &CSiteProfile::remoteDirectory,
    &CSiteProfile::comment,
};

bool NeedsEscapes(const CSiteProfile& profile)
{
    return std::any_of(std::begin(kTextFields), std::end(kTextFields),
                       [&](auto field) { return (profile.*field).find_first_of("\\\n") != std::string::npos; });
}

std::string Escaped(const std::string& text)
{
    std::string escaped;
    for (const char c : text) {
        if (c == '\\')
            escaped += "\\\\";
        else if (c == '\n')
            escaped += "\\n";
        else
            escaped += c;
    }
    return escaped;
}

// A backslash before anything but "n" or a backslash stays as it is.
std::string Unescaped(const std::string& text)
{
    std::string plain;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == 'n' || text[i + 1] == '\\'))
            plain += text[++i] == 'n' ? '\n' : '\\';
        else
            plain += text[i];
    }
    return plain;
}

// Collects the lines of one section into a profile and hands it to the store when the next section
// starts or the file ends.
class SectionReader final {
public:
    explicit SectionReader(SiteStore& store) : store(store) {}

    void Take(const std::string& rawLine, bool whole)
    {
        const std::string line = Trimmed(rawLine);
        if (line.size() < 2)
            return;
        if (line[0] != '[') {
            // A key line cut short would give a wrong value; the section keeps the rest.
            if (!whole)
                return;
            if (line == std::string(kEscapedKey) + "=TRUE")
                escaped = true;
            else
                ApplyKeyLine(work, line);
            return;
        }
        Finish();
        // A header cut short starts a section that is skipped whole, so that its lines can never
        // land in the section before it.
        if (!whole)
            return;
        // A new profile connects through the Session Profile dialog unless its file says otherwise.
        work = CSiteProfile{};
        escaped = false;
        const std::size_t close = line.find(']');
        work.name = line.substr(1, close == std::string::npos ? std::string::npos : close - 1);
        open = true;
    }

    void Finish()
    {
        if (open && escaped) {
            for (const auto field : kTextFields)
                work.*field = Unescaped(work.*field);
        }
        if (open)
            store.AddSite(work);
        open = false;
    }

private:
    SiteStore& store;
    CSiteProfile work;  // key lines before the first header land here and are wiped by it
    bool open = false;
    bool escaped = false;
};

}  // namespace

bool ReadProfileSections(std::FILE* file, SiteStore& store)
{
    SectionReader reader(store);
    const bool read = ForEachLine(file, [&reader](const std::string& line, bool whole) { reader.Take(line, whole); });
    reader.Finish();
    return read;
}

bool LoadSiteProfiles(SiteStore& store, const std::string& directory, bool renameEarlierFile, std::string* unreadable)
{
    std::string failure;
    const auto report = [&] {
        if (unreadable)
            *unreadable = failure;
    };
    report();
    // No data directory: never fall back on whatever directory the process happens to be in.
    if (directory.empty())
        return false;
    const std::string earlier = directory + kEarlierFile;
    bool readingEarlier = true;
    std::string path = earlier;
    File file = OpenRegularFile(path, failure);
    if (!file && failure.empty()) {
        readingEarlier = false;
        path = directory + kProfileFile;
        file = OpenRegularFile(path, failure);
    }
    if (!file) {
        report();
        return false;
    }
    if (!ReadProfileSections(file.get(), store)) {
        failure = Failure(path, errno);
        report();
        return false;
    }
    file.reset();
    // The earlier file is read once: its profiles go to "Tessaline.site" at the end of the run and
    // it stays as the backup. rename() replaces an older backup in one step; if it fails, the
    // earlier file is simply read again next time.
    if (readingEarlier && renameEarlierFile)
        ::rename(earlier.c_str(), (directory + kEarlierBackup).c_str());
    return true;
}

bool SaveSiteProfiles(const SiteStore& store, const std::string& directory, std::string* failure,
                      const KeyringEntries& inKeyring)
{
    std::string why = "no data directory";
    const auto report = [&] {
        if (failure)
            *failure = why;
        return false;
    };
    if (directory.empty())
        return report();
    std::ostringstream text;
    for (const SiteNodeId groupId : store.Children(kRootNode)) {
        const SiteNode& group = *store.Node(groupId);
        // Quick Connect sites belong to the run that opened them.
        if (group.name == kQuickConnectGroup)
            continue;
        if (group.children.empty()) {
            // Keeps the empty group; its flags are those of a blank profile (FALSE, TRUE, FALSE).
            CSiteProfile placeholder;
            placeholder.name = kGroupPlaceHolder;
            placeholder.group = group.name;
            WriteProfileSection(text, placeholder);
        }
        for (const SiteNodeId siteId : group.children) {
            if (store.KindOf(siteId) != kItemSite)
                continue;
            CSiteProfile site = store.Node(siteId)->profile;
            site.group = group.name;  // a renamed group is saved under its new name
            if (SavesPasswordInKeyring(site)) {
                const auto held = inKeyring.find(SiteKeyringEntry(site));
                if (held != inKeyring.end() && held->second == site.password)
                    site.password.clear();
            }
            WriteProfileSection(text, site);
        }
    }
    return ReplaceFile(directory + kProfileFile, text.str(), why) || report();
}

void WriteProfileSection(std::ostream& out, CSiteProfile profile)
{
    if (!profile.savePassword)
        profile.password.clear();
    const bool escaped = NeedsEscapes(profile);
    if (escaped) {
        for (const auto field : kTextFields)
            profile.*field = Escaped(profile.*field);
    }
    const auto flag = [](int on) { return on ? "=TRUE" : "=FALSE"; };
    out << "[" << profile.name << "]\r\n";
    if (escaped)
        out << kEscapedKey << "=TRUE\r\n";
    out << "HOST=" << profile.host << "\r\n"
        << "ACCOUNT=" << profile.account << "\r\n"
        << "UID=" << profile.userId << "\r\n"
        << "PASSWORD=" << profile.password << "\r\n"
        << "SAVPWD" << flag(profile.savePassword) << "\r\n"
        << "ICON=" << profile.icon << "\r\n"
        << "GROUP=" << profile.group << "\r\n"
        << "LOCALDIR=" << profile.localDirectory << "\r\n"
        << "REMOTEDIR=" << profile.remoteDirectory << "\r\n"
        << "PROMPT?" << flag(profile.prompt) << "\r\n"
        << "FIREWALL?" << flag(profile.useFirewall) << "\r\n"
        << "COMMENT=" << profile.comment << "\r\n"
        << "ENCRYPTION=" << profile.encryption << "\r\n";
    if (profile.protocol == RemoteProtocol::Sftp)
        out << "PROTOCOL=" << kSftpValue << "\r\n";
    out << "\r\n";
}

std::string LineTooLongForFile(const CSiteProfile& profile)
{
    std::ostringstream section;
    WriteProfileSection(section, profile);
    std::istringstream lines(section.str());
    for (std::string line; std::getline(lines, line);) {
        // The reader gets the line without its CR.
        if (line.size() - 1 > kLongestProfileLine)
            return line[0] == '[' ? "[" : line.substr(0, line.find('='));
    }
    return {};
}
