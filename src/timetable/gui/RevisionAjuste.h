#pragma once
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tables/Dataset.h"
#include "timetable/Revision.h"

class QCheckBox;
class QLabel;

namespace tz::timetable::gui {

class ListaHallazgos;

// Follows one dataset while it lives, and calls `aviso` when it has news for the check.
class Seguidor : public tables::DatasetObserver {
  public:
    Seguidor(tables::Dataset& ds, std::function<void()> aviso) : ds_(ds), aviso_(std::move(aviso)) {
        ds_.addObserver(this);
    }
    ~Seguidor() override { ds_.removeObserver(this); }
    Seguidor(const Seguidor&) = delete;
    Seguidor& operator=(const Seguidor&) = delete;

  protected:
    tables::Dataset& ds_;
    std::function<void()> aviso_;
};

// Collects the rows of a table stored since the last check, through whichever cursor of this
// process stored them.
class FilasCambiadas : public Seguidor {
  public:
    using Seguidor::Seguidor;
    void rowChanged(int position) override {
        filas.push_back(ds_.bookmarkAt(position));
        aviso_();
    }
    void viewReset() override {
        todas = true;  // rows came or went: everything is checked again
        aviso_();
    }
    void olvida() {
        filas.clear();
        todas = false;
    }

    std::vector<tables::Bookmark> filas;
    bool todas = false;
};

// Tells when the row being edited in a grid's dataset is left (stored, cancelled or moved
// off), so that its pending values are checked again as they now stand.
class EdicionSeguida : public Seguidor {
  public:
    using Seguidor::Seguidor;
    // The row checked with pending values, when there is one.
    std::optional<tables::Bookmark> revisada;

    void currentChanged() override {
        if (!revisada) return;
        bool igual = false;
        try {
            igual = ds_.isOpen() && ds_.state() == tables::DatasetState::Edit &&
                    ds_.bookmark() == *revisada;
        } catch (const std::exception&) {
            // An empty view: the row is gone, which is a change too.
        }
        if (!igual) aviso_();
    }
};

// The adjustment window's completeness check: its own cursors over the export tables (they
// share the window's table objects, so they see every stored row), the findings kept row by
// row, and what changed since they were made.
struct RevisionAjuste {
    tables::Dataset h2, h3;
    std::string error;  // the tables could not be opened: no check
    revision::Revision revision;
    std::unique_ptr<FilasCambiadas> cambios2, cambios3;
    std::unique_ptr<EdicionSeguida> edicion2, edicion3;
    bool programada = false;

    QLabel* resumen = nullptr;
    QCheckBox* soloIncompletos = nullptr;
    ListaHallazgos* lista = nullptr;
};

}  // namespace tz::timetable::gui
