#pragma once
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tables/Dataset.h"
#include "timetable/Revision.h"

namespace tz::timetable {

class AjustaXEL;

namespace revision {

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

// The rows of `cambios`, the row being edited in `edicion`'s dataset and the one edited at the
// last check; or none when everything must be checked again (no follower, or rows came or
// went). `grid` is the dataset `edicion` follows.
std::optional<std::vector<tables::Bookmark>> filasPorRevisar(FilasCambiadas* cambios,
                                                             EdicionSeguida& edicion,
                                                             tables::Dataset& grid);
// Whether checking these rows one by one costs more than one pass over the whole table `ds`:
// none given (everything must be checked), or more than a quarter of its rows and 64.
bool muchasFilas(const std::optional<std::vector<tables::Bookmark>>& filas,
                 const tables::Dataset& ds);

// The adjustment window's completeness check, kept up to date as the user types: its own
// cursors over the export tables (they share the window's table objects, so they see every
// stored row), the findings kept row by row, and what changed since they were made.
//
// `ajuste` must outlive it; `aviso` runs whenever a stored row or a row left while being
// edited asks for the check to run again (the window runs it once things have settled).
class RevisionAjuste {
  public:
    // Opens CUADROH2 and CUADROH3 shared (a failure is kept in error(): no check), reads the
    // catalogues of the lists and PLANTILLA's hours (without it sessions are checked for their
    // form), notes the lessons the export could not place, and starts following the tables
    // and the views' rows being edited.
    RevisionAjuste(AjustaXEL& ajuste, std::function<void()> aviso);
    ~RevisionAjuste();
    RevisionAjuste(const RevisionAjuste&) = delete;
    RevisionAjuste& operator=(const RevisionAjuste&) = delete;

    // Why the tables could not be opened ("" when they were).
    const std::string& error() const { return error_; }
    // Both tables are open and nothing failed: the check can run.
    bool disponible() const;
    // Closed by cierra(): nothing is followed any more.
    bool cerrada() const { return !edicion2_ || !edicion3_; }

    // Checks every row of both tables, the views' pending values included. Engine errors
    // propagate and leave the findings as they were.
    void revisaTodo();
    // The rows of each table to check again since the last check, or none when one pass over
    // everything costs less (or rows came or went).
    struct Cambios {
        std::vector<tables::Bookmark> tipo2, tipo3;
        bool vacio() const { return tipo2.empty() && tipo3.empty(); }
    };
    std::optional<Cambios> cambios();
    // Checks those rows again (engine errors propagate).
    void revisaFilas(const Cambios& c);
    // Ends a check: the centre data as they now stand, the changes just checked forgotten,
    // the rows being edited noted so that leaving them asks for a check.
    void asienta();

    const Revision& revision() const { return revision_; }
    // Row `row` of the type 2 view has findings, or a type 3 row of its slot has (also true
    // when there is no such row or no check).
    bool filaIncompleta(int row) const;
    // Where a finding is in the views. vaAProfesor selects the finding's teacher in the
    // teachers view (false: not there); then filaTipo2 is the type 2 view's row of the finding
    // (type 2: that row; type 3: a row of its slot), and, once that row is current, filaTipo3
    // the type 3 view's row of a type 3 finding; -1 when there is none.
    bool vaAProfesor(const Hallazgo& h);
    int filaTipo2(const Hallazgo& h) const;
    int filaTipo3(const Hallazgo& h) const;

    // Stops following and closes the cursors (closing them is no change to check).
    void cierra();

  private:
    AjustaXEL& ajuste_;
    tables::Dataset h2_, h3_;
    std::string error_;
    Revision revision_;
    std::unique_ptr<FilasCambiadas> cambios2_, cambios3_;
    std::unique_ptr<EdicionSeguida> edicion2_, edicion3_;
};

}  // namespace revision
}  // namespace tz::timetable
