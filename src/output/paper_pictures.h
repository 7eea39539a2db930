#pragma once
#include <QImage>

// The two tables printed on a paper for the markers, drawn by the program.
namespace pictures {

// ImageBiao1, 438 × 66: the score summary — two rows of thirteen cells, headers "总分", "一" … "十"
// and two blank, the second row blank for the scores.
QImage ImageBiao1();
// ImageBiao2, 115 × 60: the score box of a section — "得分" and "阅卷人" over two blank cells.
QImage ImageBiao2();

}  // namespace pictures
