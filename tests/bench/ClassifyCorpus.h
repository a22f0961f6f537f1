#pragma once

#include <QStringList>

// Renders the classification corpus to PDF, inspects each file in this process as an inspection
// worker does, classifies it and reports on one half of the corpus.
int classifyCorpus(const QStringList& arguments);
