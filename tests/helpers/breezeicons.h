#pragma once

#include <QIcon>
#include <QStringList>

// While it lives, theme icons come from the installed Breeze theme alone, as on a
// stock Plasma desktop (the offscreen platform knows no icon folders of its own).
class BreezeIcons
{
public:
    BreezeIcons()
        : m_paths(QIcon::themeSearchPaths())
        , m_theme(QIcon::themeName())
    {
        QIcon::setThemeSearchPaths({QStringLiteral("/usr/share/icons")});
        QIcon::setThemeName(QStringLiteral("breeze"));
    }
    ~BreezeIcons()
    {
        QIcon::setThemeName(m_theme);
        QIcon::setThemeSearchPaths(m_paths);
    }
    BreezeIcons(const BreezeIcons &) = delete;
    BreezeIcons &operator=(const BreezeIcons &) = delete;

private:
    const QStringList m_paths;
    const QString m_theme;
};
