#include "platform/link_chain.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace movan {

namespace {

// The kernel's own limit on links followed in one lookup.
constexpr int kMaxLinks = 40;

std::optional<QByteArray> readLink(const QByteArray &path, off_t sizeHint)
{
    QByteArray target(qMax<off_t>(sizeHint, 64) + 1, Qt::Uninitialized);
    for (;;) {
        const ssize_t length = ::readlink(path.constData(), target.data(), size_t(target.size()));
        if (length < 0)
            return std::nullopt;
        if (length < target.size()) {
            target.truncate(length);
            return target;
        }
        target.resize(target.size() * 2);
    }
}

QByteArray folderOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    return slash == 0 ? QByteArrayLiteral("/") : path.left(slash);
}

} // namespace

std::optional<QByteArray> trustedLinkTarget(const QByteArray &path)
{
    std::vector<uid_t> linkOwners;
    QByteArray current = path;
    for (int hop = 0; hop <= kMaxLinks; ++hop) {
        struct stat st {};
        if (::lstat(current.constData(), &st) != 0) {
            if (errno == ENOENT && linkOwners.empty())
                return current;
            return std::nullopt;
        }
        if (!S_ISLNK(st.st_mode)) {
            const uid_t writer = ::geteuid();
            for (const uid_t owner : linkOwners) {
                if (owner != writer && owner != st.st_uid)
                    return std::nullopt;
            }
            return current;
        }
        linkOwners.push_back(st.st_uid);
        const auto target = readLink(current, st.st_size);
        if (!target || target->isEmpty())
            return std::nullopt;
        current = target->startsWith('/') ? *target : folderOf(current) + '/' + *target;
    }
    return std::nullopt;
}

} // namespace movan
