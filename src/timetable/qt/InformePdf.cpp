#include "timetable/qt/InformePdf.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "tables/Cp1252.h"
#include "timetable/Informe.h"

namespace tz::timetable::informe {

std::size_t paginasResumen(std::size_t profesores) {
    return std::max<std::size_t>(1,
                                 (profesores + kProfesoresPorResumen - 1) / kProfesoresPorResumen);
}

namespace {

constexpr int kDpi = 300;
constexpr double kAncho = 297, kAlto = 210, kMargen = 10;  // A4 landscape, mm
constexpr int kLineasHallazgos = 12;                       // findings listed on a teacher page

const QColor kNegro(0, 0, 0), kGris(110, 110, 110), kRojo(190, 0, 0), kVerde(0, 110, 0),
    kAzul(0, 0, 150), kRejilla(150, 150, 150), kCabecera(225, 232, 248), kFuera(253, 232, 205),
    kPar(246, 248, 252);

QString q(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
}

QString numero(int n, const char* uno, const char* varios) {
    return QString::number(n) + QLatin1Char(' ') + QString::fromUtf8(n == 1 ? uno : varios);
}

// Drawing in millimetres on the writer's pages.
class Lienzo {
  public:
    Lienzo(QPdfWriter& w, QPainter& p) : w_(w), p_(p) {}

    static double px(double mm) { return mm * kDpi / 25.4; }
    static QRectF rect(double x, double y, double ancho, double alto) {
        return QRectF(px(x), px(y), px(ancho), px(alto));
    }

    QFont fuente(double puntos, bool negrita = false) const {
        QFont f(QStringLiteral("DejaVu Sans"));
        f.setStyleHint(QFont::SansSerif);
        f.setPointSizeF(puntos);
        f.setBold(negrita);
        // A letter spacing of its own keeps Qt from joining "fi" into one glyph, so the text
        // copied or extracted from the PDF reads as written.
        f.setLetterSpacing(QFont::AbsoluteSpacing, 0.02);
        return f;
    }
    // Height of a line of that font, in mm.
    double linea(const QFont& f) const { return QFontMetricsF(f, &w_).height() * 25.4 / kDpi; }

    // One line of text cut with an ellipsis to the box; returns the mm used vertically.
    double texto(double x, double y, double ancho, const QString& t, const QFont& f,
                 const QColor& c = kNegro, Qt::Alignment a = Qt::AlignLeft) {
        const QFontMetricsF m(f, &w_);
        const double alto = linea(f);
        p_.setFont(f);
        p_.setPen(c);
        p_.drawText(rect(x, y, ancho, alto), int(a | Qt::AlignVCenter),
                    m.elidedText(t, Qt::ElideRight, px(ancho)));
        return alto;
    }
    void caja(double x, double y, double ancho, double alto, const QColor& fondo) {
        p_.fillRect(rect(x, y, ancho, alto), fondo);
    }
    void borde(double x, double y, double ancho, double alto) {
        p_.setPen(QPen(kRejilla, px(0.2)));
        p_.setBrush(Qt::NoBrush);
        p_.drawRect(rect(x, y, ancho, alto));
    }
    void raya(double x1, double y1, double x2, double y2, const QColor& c = kRejilla) {
        p_.setPen(QPen(c, px(0.3)));
        p_.drawLine(QPointF(px(x1), px(y1)), QPointF(px(x2), px(y2)));
    }

  private:
    QPdfWriter& w_;
    QPainter& p_;
};

class Dibujo {
  public:
    Dibujo(Informe& informe, QPdfWriter& w, QPainter& p)
        : in_(informe),
          l_(w, p),
          generado_(QDateTime::currentDateTime().toString(QStringLiteral("dd/MM/yyyy HH:mm"))) {
        total_ = int(paginasResumen(in_.profesores().size()) + in_.profesores().size());
    }
    int total() const { return total_; }

    // Header band of every page; returns where the page's body starts (mm).
    double cabecera() {
        const double ancho = kAncho - 2 * kMargen;
        l_.texto(kMargen, kMargen, ancho * 0.5, q(kTitulo), l_.fuente(13, true), kAzul);
        l_.texto(kMargen + ancho * 0.4, kMargen + 1, ancho * 0.6,
                 q(informe::cabecera(in_.centro())), l_.fuente(9, true), kNegro, Qt::AlignRight);
        const double y = kMargen + 7.5;
        l_.raya(kMargen, y, kAncho - kMargen, y, kAzul);
        return y + 2;
    }
    void pie(int pagina) {
        const double y = kAlto - kMargen - 3.5, ancho = kAncho - 2 * kMargen;
        l_.raya(kMargen, y, kAncho - kMargen, y);
        const QFont f = l_.fuente(7);
        l_.texto(kMargen, y + 0.5, ancho / 2,
                 QStringLiteral("transZanderXEL · generado el ") + generado_, f, kGris);
        l_.texto(kMargen + ancho / 2, y + 0.5, ancho / 2,
                 QStringLiteral("Página %1 de %2").arg(pagina).arg(total_), f, kGris,
                 Qt::AlignRight);
    }

    void resumen(std::size_t hoja, int pagina) {
        double y = cabecera();
        const auto& profes = in_.profesores();
        const double x = kMargen, ancho = kAncho - 2 * kMargen;
        if (hoja == 0) {
            y += l_.texto(x, y, ancho, QStringLiteral("Resumen"), l_.fuente(12, true));
            const int conHallazgos = int(std::count_if(
                profes.begin(), profes.end(), [](const Profesor& p) { return p.hallazgos > 0; }));
            y += l_.texto(
                x, y + 0.5, ancho,
                numero(int(profes.size()), "profesor", "profesores") + QStringLiteral(" · ") +
                    numero(in_.totalPeriodos(), "periodo", "periodos") + QStringLiteral(" · ") +
                    numero(int(in_.totalHallazgos()), "hallazgo", "hallazgos") +
                    QStringLiteral(" (") + numero(conHallazgos, "profesor", "profesores") +
                    QStringLiteral(" con hallazgos)"),
                l_.fuente(9));
            const bool limpio = in_.totalHallazgos() == 0;
            y += l_.texto(x, y + 0.5, ancho, q(revision::textoResumen(in_.revision().resumen())),
                          l_.fuente(9, true), limpio ? kVerde : kRojo);
            const auto& avisos = in_.avisos();
            for (std::size_t i = 0; i < avisos.size() && i < 3; ++i)
                y += l_.texto(x, y + 0.5, ancho, q(avisos[i]), l_.fuente(8), kRojo);
            if (avisos.size() > 3)
                y += l_.texto(x, y + 0.5, ancho,
                              QStringLiteral("… y %1 avisos más").arg(avisos.size() - 3),
                              l_.fuente(8), kRojo);
        } else {
            y += l_.texto(x, y, ancho, QStringLiteral("Resumen (continuación)"),
                          l_.fuente(12, true));
        }
        y = std::max(y, cabeceraAlto() + 24.0) + 2;

        // The table of teachers.
        struct Col {
            const char* titulo;
            double ancho;
            Qt::Alignment a;
        };
        static const Col cols[] = {
            {"Profe.", 18, Qt::AlignLeft},       {"Nombre", 88, Qt::AlignLeft},
            {"Departamento", 62, Qt::AlignLeft}, {"Documento", 49, Qt::AlignLeft},
            {"Periodos", 30, Qt::AlignRight},    {"Hallazgos", 30, Qt::AlignRight}};
        const double fila = 4.6;
        const QFont fc = l_.fuente(8, true), ft = l_.fuente(8);
        l_.caja(x, y, ancho, fila, kCabecera);
        double cx = x;
        for (const Col& c : cols) {
            l_.texto(cx + 1, y + 0.4, c.ancho - 2, q(c.titulo), fc, kNegro, c.a);
            cx += c.ancho;
        }
        y += fila;
        const std::size_t desde = hoja * kProfesoresPorResumen,
                          hasta = std::min(profes.size(), desde + kProfesoresPorResumen);
        for (std::size_t i = desde; i < hasta; ++i) {
            const Profesor& t = profes[i];
            if ((i - desde) % 2) l_.caja(x, y, ancho, fila, kPar);
            const std::string doc = documento(t);
            const QString valores[] = {
                q(cp(t.abrev)),
                t.enProft ? q(cp(t.nombre)) : QStringLiteral("(sin ficha en PROFT)"),
                q(cp(t.departamento)),
                q(doc),
                QString::number(t.periodos),
                QString::number(t.hallazgos)};
            cx = x;
            for (int k = 0; k < 6; ++k) {
                QColor c = kNegro;
                if (k == 3 && trimmedEmpty(t.dni)) c = kRojo;
                if (k == 5) c = t.hallazgos ? kRojo : kVerde;
                l_.texto(cx + 1, y + 0.4, cols[k].ancho - 2, valores[k], ft, c, cols[k].a);
                cx += cols[k].ancho;
            }
            y += fila;
        }
        l_.raya(x, y, x + ancho, y);
        if (hasta == profes.size() && hoja + 1 == paginasResumen(profes.size())) {
            y += 1.5;
            l_.texto(x, y, ancho,
                     QStringLiteral("Cada profesor tiene a continuación su página con la semana "
                                    "y lo que falta por codificar."),
                     l_.fuente(8), kGris);
        }
        pie(pagina);
    }

    void profesor(std::size_t i, int pagina) {
        Pagina pg = in_.pagina(i, kLineasHallazgos);
        const Profesor& t = pg.profesor;
        double y = cabecera();
        const double x = kMargen, ancho = kAncho - 2 * kMargen;
        y += l_.texto(x, y, ancho * 0.7, q(nombreProfesor(t)), l_.fuente(12, true));
        const bool sinDoc = trimmedEmpty(t.dni);
        QString linea = QStringLiteral("Documento: ") + q(documento(t));
        l_.texto(x, y + 0.5, ancho * 0.45, linea, l_.fuente(9, true), sinDoc ? kRojo : kNegro);
        QString datos;
        if (!t.departamento.empty())
            datos =
                QStringLiteral("Departamento: ") + q(cp(t.departamento)) + QStringLiteral(" · ");
        datos += numero(t.periodos, "periodo", "periodos") + QStringLiteral(" · ") +
                 numero(t.hallazgos, "hallazgo", "hallazgos");
        y += l_.texto(x + ancho * 0.45, y + 0.5, ancho * 0.55, datos, l_.fuente(9),
                      t.hallazgos ? kRojo : kNegro, Qt::AlignRight);
        y += 2;

        // Findings and notes at the foot; the grid takes the rest.
        std::vector<std::pair<QString, QColor>> notas;
        for (const std::string& a : pg.avisos) notas.emplace_back(q(a), kRojo);
        for (const std::string& h : pg.hallazgos) notas.emplace_back(q(h), kNegro);
        if (pg.masHallazgos > 0)
            notas.emplace_back(QStringLiteral("… y %1 más (transzanderxel-batch revisar los lista "
                                              "todos)")
                                   .arg(pg.masHallazgos),
                               kGris);
        const std::size_t lineasPie = std::min<std::size_t>(notas.size(), kLineasHallazgos + 4);
        const QFont fp = l_.fuente(7);
        const double altoPie =
            notas.empty() ? 0 : l_.linea(l_.fuente(8, true)) + 1 + lineasPie * l_.linea(fp);
        const double fondo = kAlto - kMargen - 5;
        const double bajo =
            rejilla(pg.semana, x, y, ancho, fondo - altoPie - y - (notas.empty() ? 0 : 3));
        if (!notas.empty()) {
            // Right under the grid.
            double yp = std::min(bajo + 3, fondo - altoPie);
            yp += l_.texto(x, yp, ancho,
                           t.hallazgos ? QStringLiteral("Hallazgos (%1)").arg(t.hallazgos)
                                       : QStringLiteral("Avisos"),
                           l_.fuente(8, true), t.hallazgos ? kRojo : kNegro);
            yp += 1;
            for (std::size_t k = 0; k < lineasPie; ++k)
                yp += l_.texto(x + 2, yp, ancho - 2, notas[k].first, fp, notas[k].second);
        }
        pie(pagina);
    }

  private:
    static std::string cp(const std::string& bytes) { return cp1252::toUtf8(bytes); }
    static bool trimmedEmpty(const std::string& s) {
        return std::all_of(s.begin(), s.end(),
                           [](char c) { return static_cast<unsigned char>(c) <= 32; });
    }
    static double cabeceraAlto() { return kMargen + 9.5; }

    // Draws the week in the box; returns where it ends (mm).
    double rejilla(const semana::Semana& s, double x, double y, double ancho, double alto) {
        const QFont fd = l_.fuente(8, true);
        const double cabeza = l_.linea(fd) + 1.2;
        if (s.vacia()) {
            l_.texto(x, y + 4, ancho, QStringLiteral("Sin periodos en CUADROH2."), l_.fuente(10),
                     kGris);
            return y + 10;
        }
        const auto& cols = s.columnas();
        const auto& filas = s.filas();
        const double izq = 30, colAncho = (ancho - izq) / double(cols.size());
        // Rows share the height by how much they hold, within limits.
        std::vector<double> peso(filas.size());
        double suma = 0;
        // Weights in lines: a row takes what its fullest cell needs, between two and nine.
        for (std::size_t r = 0; r < filas.size(); ++r) {
            peso[r] = double(std::clamp(semana::lineasFila(s, int(r)), 2, 9));
            suma += peso[r];
        }
        const double unidad = std::min((alto - cabeza) / suma, 3.4);
        const double pt = unidad < 2.7 ? 5.0 : 6.5;
        const QFont f = l_.fuente(pt), fb = l_.fuente(pt, true);
        const double lh = l_.linea(f);

        // Day titles.
        l_.caja(x, y, ancho, cabeza, kCabecera);
        l_.texto(x + 1, y + 0.6, izq - 2, QStringLiteral("Sesión"), fd);
        for (std::size_t c = 0; c < cols.size(); ++c) {
            const double cx = x + izq + colAncho * double(c);
            if (!cols[c].enSemana) l_.caja(cx, y, colAncho, cabeza, kFuera);
            l_.texto(cx + 1, y + 0.6, colAncho - 2, q(cols[c].titulo), fd,
                     cols[c].enSemana ? kNegro : kRojo, Qt::AlignHCenter);
        }
        l_.borde(x, y, ancho, cabeza);

        std::vector<double> top(filas.size() + 1);
        top[0] = y + cabeza;
        for (std::size_t r = 0; r < filas.size(); ++r) top[r + 1] = top[r] + unidad * peso[r];

        for (std::size_t r = 0; r < filas.size(); ++r) {
            const semana::Fila& fila = filas[r];
            const double fy = top[r], fh = top[r + 1] - top[r];
            if (!fila.enPlantilla) l_.caja(x, fy, ancho, fh, kFuera);
            l_.texto(x + 1, fy + 0.4, izq - 2, q(fila.titulo()), fb,
                     fila.enPlantilla ? kNegro : kRojo);
            if (fh >= 2 * lh + 0.4)
                l_.texto(x + 1, fy + 0.4 + lh, izq - 2, q(fila.horas()), f, kGris);
            l_.borde(x, fy, izq, fh);
            for (std::size_t c = 0; c < cols.size(); ++c) {
                const int alto = s.alto(int(r), int(c));
                if (alto == 0) continue;
                const double cx = x + izq + colAncho * double(c);
                const double ch = top[r + std::size_t(alto)] - fy;
                l_.borde(cx, fy, colAncho, ch);
                celda(s, int(r), int(c), cx + 0.8, fy + 0.3, colAncho - 1.6, ch - 0.6, f, fb, lh);
            }
        }
        return top.back();
    }

    void celda(const semana::Semana& s, int r, int c, double x, double y, double ancho, double alto,
               const QFont& f, const QFont& fb, double lh) {
        using semana::LineaCelda;
        double yy = y;
        for (const LineaCelda& ln : semana::lineasCelda(s, r, c, int((alto + 0.01) / lh))) {
            if (yy + lh > y + alto + 0.01) break;
            const bool negrita = ln.tipo == LineaCelda::Titulo ||
                                 ln.tipo == LineaCelda::Incompleto || ln.tipo == LineaCelda::Mas;
            const QColor color = ln.tipo == LineaCelda::Grupos       ? kAzul
                                 : ln.tipo == LineaCelda::Faltas     ? kRojo
                                 : ln.tipo == LineaCelda::Incompleto ? kRojo
                                 : ln.tipo == LineaCelda::Sigue || ln.tipo == LineaCelda::Mas
                                     ? kGris
                                     : kNegro;
            yy += l_.texto(x, yy, ancho, q(ln.texto), negrita ? fb : f, color);
        }
    }

    Informe& in_;
    Lienzo l_;
    QString generado_;
    int total_ = 0;
};

// Qt's own notes (fonts, platform) are not the batch's messages.
void silencio(QtMsgType type, const QMessageLogContext&, const QString& msg) {
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "%s\n", msg.toLocal8Bit().constData());
        std::abort();
    }
}

}  // namespace

std::string escribePdf(Informe& informe, const std::filesystem::path& file,
                       const std::function<bool(int, int)>& progreso) {
    std::unique_ptr<QGuiApplication> app;
    QtMessageHandler antes = nullptr;
    if (!QCoreApplication::instance()) {
        antes = qInstallMessageHandler(silencio);
        static int argc = 3;
        static char a0[] = "transzanderxel-batch", a1[] = "-platform", a2[] = "offscreen";
        static char* argv[] = {a0, a1, a2, nullptr};
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        return "No se puede dibujar el informe sin una aplicación gráfica";
    }
    struct Restaura {
        bool activo;
        QtMessageHandler h;
        ~Restaura() {
            if (activo) qInstallMessageHandler(h);
        }
    } restaura{app != nullptr, antes};

    const QString nombre = QString::fromStdString(file.string());
    QSaveFile out(nombre);
    if (!out.open(QIODevice::WriteOnly))
        return "No se puede crear el fichero " + file.string() + ": " +
               out.errorString().toStdString();
    {
        QPdfWriter w(&out);
        w.setResolution(kDpi);
        w.setTitle(QString::fromUtf8(kTitulo));
        w.setCreator(QStringLiteral("transZanderXEL"));
        w.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape,
                                    QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter));
        QPainter p;
        if (!p.begin(&w)) return "No se puede dibujar el informe en " + file.string();
        Dibujo d(informe, w, p);
        const std::size_t hojas = paginasResumen(informe.profesores().size());
        int pagina = 0;
        auto siguiente = [&] {
            if (pagina > 0) w.newPage();
            ++pagina;
        };
        for (std::size_t h = 0; h < hojas; ++h) {
            siguiente();
            d.resumen(h, pagina);
            if (progreso && !progreso(pagina, d.total())) {
                p.end();
                out.cancelWriting();
                return kCancelado;
            }
        }
        for (std::size_t i = 0; i < informe.profesores().size(); ++i) {
            siguiente();
            d.profesor(i, pagina);
            if (progreso && !progreso(pagina, d.total())) {
                p.end();
                out.cancelWriting();
                return kCancelado;
            }
        }
        p.end();
    }
    if (!out.commit())
        return "No se puede escribir el fichero " + file.string() + ": " +
               out.errorString().toStdString();
    return "";
}

}  // namespace tz::timetable::informe
