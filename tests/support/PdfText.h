#pragma once

#include <QString>

// Reading printed PDF files back with poppler-utils.

// The text of the given page (1-based), or of all pages for 0.
QString pdfText(const QString &pdf, int page = 0);
int pdfPages(const QString &pdf);
