#pragma once

#include <QString>
#include <QStringList>

namespace movan {

// SQL text in which ":Name" marks a parameter, turned into the text the server
// runs: each distinct name becomes @P1, @P2, ... in order of first appearance.
// A colon inside a string literal, a quoted or bracketed name or a comment is
// left alone, "::" stands for one colon, and a colon not followed by a name
// character is kept as it is.
struct ParameterizedText {
    QString text;
    QStringList names; // names[i] is @P(i+1)
};

ParameterizedText parseNamedParameters(const QString &sql);

} // namespace movan
