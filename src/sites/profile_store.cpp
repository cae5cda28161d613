#include "sites/profile_store.h"

#include "ftp/write_all.h"

#include <algorithm>
#include <cstdio>
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
constexpr std::size_t kLongestLine = 4096;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Only a regular file counts: a directory there reads as nothing, and a FIFO would block the
// start-up (hence the non-blocking open).
File OpenRegularFile(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    File file(::fdopen(fd, "r"));
    if (!file)
        ::close(fd);
    return file;
}

// Calls `take` with each line of `file` without its LF or CR LF. A line longer than kLongestLine
// is skipped whole: a piece of it would read as a wrong name or value.
template <typename Take>
void ForEachLine(std::FILE* file, Take take)
{
    std::string line;
    bool tooLong = false;
    const auto endLine = [&] {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!tooLong && line.size() <= kLongestLine)
            take(line);
        line.clear();
        tooLong = false;
    };
    char chunk[1 << 16];
    std::size_t size = 0;
    while ((size = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        std::string_view rest(chunk, size);
        for (;;) {
            const std::size_t end = rest.find('\n');
            if (!tooLong) {
                line.append(rest.substr(0, end));
                if (line.size() > kLongestLine + 1) {  // + 1: the CR of a CR LF
                    tooLong = true;
                    line.clear();
                }
            }
            if (end == std::string_view::npos)
                break;
            endLine();
            rest.remove_prefix(end + 1);
        }
    }
    if (!line.empty() || tooLong)
        endLine();
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

// Collects the lines of one section into a profile and hands it to the tree when the next section
// starts or the file ends.
class SectionReader final {
public:
    explicit SectionReader(ProfileTree& tree) : tree(tree) {}

    void Take(const std::string& rawLine)
    {
        const std::string line = Trimmed(rawLine);
        if (line.size() < 2)
            return;
        if (line[0] != '[') {
            ApplyKeyLine(work, line);
            return;
        }
        Finish();
        // A new profile connects through the Session Profile dialog unless its file says otherwise.
        work = CSiteProfile{};
        const std::size_t close = line.find(']');
        work.name = line.substr(1, close == std::string::npos ? std::string::npos : close - 1);
        open = true;
    }

    void Finish()
    {
        if (open)
            AddSiteToGroup(tree, work);
        open = false;
    }

private:
    ProfileTree& tree;
    CSiteProfile work;  // key lines before the first header land here and are wiped by it
    bool open = false;
};

// Writes `content` to a new file beside `path` and renames it over `path`, so a failure at any
// point leaves the previous file whole. The new file is 0600 from its creation: it may hold
// passwords.
bool ReplaceFile(const std::string& path, const std::string& content)
{
    std::string temporary = path + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    bool written = WriteAll(fd, content) && ::fsync(fd) == 0;
    written = ::close(fd) == 0 && written;
    if (written && ::rename(temporary.c_str(), path.c_str()) == 0)
        return true;
    ::unlink(temporary.c_str());
    return false;
}

} // namespace

bool SiteNameLess(const std::string& a, const std::string& b)
{
    const auto folded = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; };
    const auto order = std::lexicographical_compare_three_way(
        a.begin(), a.end(), b.begin(), b.end(), [&](char x, char y) { return folded(x) <=> folded(y); });
    return order != 0 ? order < 0 : a < b;
}

void ReadProfileSections(std::FILE* file, ProfileTree& tree)
{
    SectionReader reader(tree);
    ForEachLine(file, [&reader](const std::string& line) { reader.Take(line); });
    reader.Finish();
}

bool LoadSiteProfiles(ProfileTree& tree, const std::string& directory, bool renameEarlierFile)
{
    // No data directory: never fall back on whatever directory the process happens to be in.
    if (directory.empty())
        return false;
    const std::string earlier = directory + kEarlierFile;
    bool readingEarlier = true;
    File file = OpenRegularFile(earlier);
    if (!file) {
        readingEarlier = false;
        file = OpenRegularFile(directory + kProfileFile);
    }
    if (!file)
        return false;
    ReadProfileSections(file.get(), tree);
    file.reset();
    // The earlier file is read once: its profiles go to "Tessaline.site" at the end of the run and
    // it stays as the backup. rename() replaces an older backup in one step; if it fails, the
    // earlier file is simply read again next time.
    if (readingEarlier && renameEarlierFile)
        ::rename(earlier.c_str(), (directory + kEarlierBackup).c_str());
    tree.SortGroups();
    return true;
}

bool AddSiteToGroup(ProfileTree& tree, CSiteProfile profile)
{
    if (profile.group.empty())
        profile.group = kUserDefinedGroup;
    if (!tree.FindGroup(profile.group))
        tree.AddGroup(profile.group);
    // A placeholder section only declares its group.
    if (!tree.FindGroup(profile.group) || profile.name == kGroupPlaceHolder)
        return false;
    profile.kind = kItemSite;
    tree.InsertSite(profile.group, profile);
    return true;
}

bool SaveSiteProfiles(const ProfileTree& tree, const std::string& directory)
{
    if (directory.empty())
        return false;
    std::ostringstream text;
    for (const ProfileTree::Group& group : tree.Groups()) {
        // Quick Connect sites belong to the run that opened them.
        if (group.name == kQuickConnectGroup)
            continue;
        if (group.childCount == 0) {
            // Keeps the empty group; its flags are those of a blank profile (FALSE, TRUE, FALSE).
            CSiteProfile placeholder;
            placeholder.name = kGroupPlaceHolder;
            placeholder.group = group.name;
            WriteProfileSection(text, placeholder);
        }
        for (CSiteProfile site : group.sites) {
            site.group = group.name;  // a renamed group is saved under its new name
            WriteProfileSection(text, site);
        }
    }
    return ReplaceFile(directory + kProfileFile, text.str());
}

void WriteProfileSection(std::ostream& out, const CSiteProfile& profile)
{
    const auto flag = [](int on) { return on ? "=TRUE" : "=FALSE"; };
    out << "[" << profile.name << "]\r\n"
        << "HOST=" << profile.host << "\r\n"
        << "ACCOUNT=" << profile.account << "\r\n"
        << "UID=" << profile.userId << "\r\n"
        << "PASSWORD=" << (profile.savePassword ? profile.password : std::string()) << "\r\n"
        << "SAVPWD" << flag(profile.savePassword) << "\r\n"
        << "ICON=" << profile.icon << "\r\n"
        << "GROUP=" << profile.group << "\r\n"
        << "LOCALDIR=" << profile.localDirectory << "\r\n"
        << "REMOTEDIR=" << profile.remoteDirectory << "\r\n"
        << "PROMPT?" << flag(profile.prompt) << "\r\n"
        << "FIREWALL?" << flag(profile.useFirewall) << "\r\n"
        << "COMMENT=" << profile.comment << "\r\n"
        << "\r\n";
}

bool ProfileList::FindGroup(const std::string& name) const
{
    return std::any_of(groups.begin(), groups.end(), [&](const Group& g) { return g.name == name; });
}

void ProfileList::AddGroup(const std::string& name)
{
    groups.push_back(Group{name, {}, 0});
    SortGroups();
}

void ProfileList::InsertSite(const std::string& group, const CSiteProfile& profile)
{
    const auto found =
        std::find_if(groups.begin(), groups.end(), [&](const Group& g) { return g.name == group; });
    if (found == groups.end())
        return;
    std::vector<CSiteProfile>& sites = found->sites;
    // After any site of the same name, as the tree inserts it.
    const auto at = std::upper_bound(
        sites.begin(), sites.end(), profile,
        [](const CSiteProfile& a, const CSiteProfile& b) { return SiteNameLess(a.name, b.name); });
    sites.insert(at, profile);
    found->childCount = sites.size();
}

void ProfileList::SortGroups()
{
    std::stable_sort(groups.begin(), groups.end(),
                     [](const Group& a, const Group& b) { return SiteNameLess(a.name, b.name); });
}

std::vector<ProfileTree::Group> ProfileList::Groups() const
{
    return groups;
}

std::vector<CSiteProfile> ProfileList::FindSites(const std::string& name, const std::string& group) const
{
    std::vector<CSiteProfile> found;
    for (const Group& g : groups) {
        if (!group.empty() && g.name != group)
            continue;
        for (const CSiteProfile& site : g.sites) {
            if (site.name == name) {
                found.push_back(site);
                found.back().group = g.name;
            }
        }
    }
    return found;
}
