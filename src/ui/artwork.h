#pragma once
#include <QIcon>
#include <QImage>
#include <QPixmap>

// The program's pictures, drawn by the program itself.
namespace artwork {

QIcon appIcon();
// The program's icon drawn at `size` × `size` pixels (the installed icons are made from it).
QImage appIconImage(int size);
QPixmap background(const QSize& size);  // the main window's background picture
QPixmap tile();                         // the small picture tiled behind the subject panel
QPixmap banner(int width);              // the contact dialog's banner
// Toolbar glyphs: "logout", "exit", "subjects", "choose", "types", "chapters", "entry",
// "wizard", "users", "help", "about", "contact"; "up" and "down" arrows.
QIcon glyph(const QString& name);

}  // namespace artwork
