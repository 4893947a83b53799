#include "app/RegistroEjecuciones.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>

#include "platform/Error.h"
#include "platform/System.h"
#include "tables/Cp1252.h"
#include "tables/FileIo.h"

namespace tz::app::registro {

namespace fs = std::filesystem;

fs::path fichero() { return platform::stateFolder() / "registro.jsonl"; }

// --- JSON -------------------------------------------------------------------------------------

namespace {

bool esUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        std::size_t n = 0;
        if (c >= 0xC2 && c <= 0xDF)
            n = 1;
        else if (c >= 0xE0 && c <= 0xEF)
            n = 2;
        else if (c >= 0xF0 && c <= 0xF4)
            n = 3;
        else
            return false;
        if (s.size() - i <= n) return false;
        for (std::size_t k = 1; k <= n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) >> 6) != 2) return false;
        const auto c1 = static_cast<unsigned char>(s[i + 1]);
        // Overlong forms, surrogates and code points beyond U+10FFFF.
        if ((c == 0xE0 && c1 < 0xA0) || (c == 0xED && c1 >= 0xA0) || (c == 0xF0 && c1 < 0x90) ||
            (c == 0xF4 && c1 >= 0x90))
            return false;
        i += n + 1;
    }
    return true;
}

void cadena(std::string& out, std::string_view v) {
    const std::string texto = esUtf8(v) ? std::string(v) : cp1252::toUtf8(v);
    out += '"';
    for (char ch : texto) {
        const auto c = static_cast<unsigned char>(ch);
        switch (ch) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += ch;
                }
        }
    }
    out += '"';
}

void ficheros(std::string& out, const std::vector<Fichero>& v) {
    out += '[';
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (i) out += ',';
        out += "{\"nombre\":";
        cadena(out, v[i].nombre);
        out += ",\"filas\":" + std::to_string(v[i].filas) + "}";
    }
    out += ']';
}

// A small reader for the values this log writes: objects, arrays, strings, integers, true,
// false and null. Anything else, or anything left over, makes the line unreadable.
struct Valor {
    enum Tipo { Nulo, Logico, Numero, Cadena, Lista, Objeto } tipo = Nulo;
    long long numero = 0;
    std::string texto;
    std::vector<Valor> lista;
    struct Campo;
    std::vector<Campo> campos;

    const Valor* campo(std::string_view k) const;
};

// An object's field, declared after Valor is complete (a pair of an incomplete type is not
// allowed everywhere).
struct Valor::Campo {
    std::string nombre;
    Valor valor;
};

const Valor* Valor::campo(std::string_view k) const {
    for (const auto& c : campos)
        if (c.nombre == k) return &c.valor;
    return nullptr;
}

class Lector {
  public:
    explicit Lector(std::string_view s) : s_(s) {}

    bool lee(Valor& v, int hondo = 0) {
        if (hondo > 16) return false;
        blancos();
        if (i_ >= s_.size()) return false;
        const char c = s_[i_];
        if (c == '{') return objeto(v, hondo);
        if (c == '[') return lista(v, hondo);
        if (c == '"') {
            v.tipo = Valor::Cadena;
            return cadena(v.texto);
        }
        if (c == '-' || (c >= '0' && c <= '9')) return numero(v);
        if (palabra("true")) return v.tipo = Valor::Logico, v.numero = 1, true;
        if (palabra("false")) return v.tipo = Valor::Logico, v.numero = 0, true;
        if (palabra("null")) return v.tipo = Valor::Nulo, true;
        return false;
    }
    bool alFinal() {
        blancos();
        return i_ == s_.size();
    }

  private:
    void blancos() {
        while (i_ < s_.size() &&
               (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\r' || s_[i_] == '\n'))
            ++i_;
    }
    bool palabra(std::string_view w) {
        if (s_.substr(i_, w.size()) != w) return false;
        i_ += w.size();
        return true;
    }
    bool numero(Valor& v) {
        const std::size_t b = i_;
        if (s_[i_] == '-') ++i_;
        std::size_t digitos = 0;
        while (i_ < s_.size() && s_[i_] >= '0' && s_[i_] <= '9') ++i_, ++digitos;
        if (digitos == 0 || digitos > 18) return false;
        v.tipo = Valor::Numero;
        v.numero = std::stoll(std::string(s_.substr(b, i_ - b)));
        return true;
    }
    static void utf8(std::string& out, std::uint32_t cp) {
        if (cp < 0x80) {
            out += char(cp);
        } else if (cp < 0x800) {
            out += char(0xC0 | (cp >> 6));
            out += char(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += char(0xE0 | (cp >> 12));
            out += char(0x80 | ((cp >> 6) & 0x3F));
            out += char(0x80 | (cp & 0x3F));
        } else {
            out += char(0xF0 | (cp >> 18));
            out += char(0x80 | ((cp >> 12) & 0x3F));
            out += char(0x80 | ((cp >> 6) & 0x3F));
            out += char(0x80 | (cp & 0x3F));
        }
    }
    bool hex4(std::uint32_t& cp) {
        if (i_ + 4 > s_.size()) return false;
        cp = 0;
        for (int k = 0; k < 4; ++k) {
            const char h = s_[i_++];
            cp <<= 4;
            if (h >= '0' && h <= '9')
                cp |= std::uint32_t(h - '0');
            else if (h >= 'a' && h <= 'f')
                cp |= std::uint32_t(h - 'a' + 10);
            else if (h >= 'A' && h <= 'F')
                cp |= std::uint32_t(h - 'A' + 10);
            else
                return false;
        }
        return true;
    }
    bool cadena(std::string& out) {
        ++i_;  // the opening quote
        out.clear();
        while (i_ < s_.size()) {
            const char c = s_[i_++];
            if (c == '"') return true;
            if (static_cast<unsigned char>(c) < 0x20) return false;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (i_ >= s_.size()) return false;
            const char e = s_[i_++];
            switch (e) {
                case '"':
                    out += '"';
                    break;
                case '\\':
                    out += '\\';
                    break;
                case '/':
                    out += '/';
                    break;
                case 'b':
                    out += '\b';
                    break;
                case 'f':
                    out += '\f';
                    break;
                case 'n':
                    out += '\n';
                    break;
                case 'r':
                    out += '\r';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'u': {
                    std::uint32_t cp = 0;
                    if (!hex4(cp)) return false;
                    if (cp >= 0xD800 && cp < 0xDC00) {
                        std::uint32_t lo = 0;
                        if (!palabra("\\u") || !hex4(lo) || lo < 0xDC00 || lo > 0xDFFF)
                            return false;
                        cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
                    } else if (cp >= 0xDC00 && cp < 0xE000) {
                        return false;
                    }
                    utf8(out, cp);
                    break;
                }
                default:
                    return false;
            }
        }
        return false;
    }
    bool lista(Valor& v, int hondo) {
        ++i_;
        v.tipo = Valor::Lista;
        blancos();
        if (i_ < s_.size() && s_[i_] == ']') return ++i_, true;
        for (;;) {
            Valor x;
            if (!lee(x, hondo + 1)) return false;
            v.lista.push_back(std::move(x));
            blancos();
            if (i_ >= s_.size()) return false;
            if (s_[i_] == ']') return ++i_, true;
            if (s_[i_++] != ',') return false;
        }
    }
    bool objeto(Valor& v, int hondo) {
        ++i_;
        v.tipo = Valor::Objeto;
        blancos();
        if (i_ < s_.size() && s_[i_] == '}') return ++i_, true;
        for (;;) {
            blancos();
            std::string k;
            if (i_ >= s_.size() || s_[i_] != '"' || !cadena(k)) return false;
            blancos();
            if (i_ >= s_.size() || s_[i_++] != ':') return false;
            Valor x;
            if (!lee(x, hondo + 1)) return false;
            v.campos.push_back({std::move(k), std::move(x)});
            blancos();
            if (i_ >= s_.size()) return false;
            if (s_[i_] == '}') return ++i_, true;
            if (s_[i_++] != ',') return false;
        }
    }

    std::string_view s_;
    std::size_t i_ = 0;
};

bool leeFichero(const fs::path& p, std::string& out) {
    std::ifstream in(p, std::ios::binary);
    if (!in) return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

std::vector<std::string_view> lineas(std::string_view text) {
    std::vector<std::string_view> out;
    std::size_t b = 0;
    while (b < text.size()) {
        std::size_t e = text.find('\n', b);
        if (e == std::string_view::npos) e = text.size();
        std::string_view l = text.substr(b, e - b);
        if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
        if (l.find_first_not_of(" \t") != std::string_view::npos) out.push_back(l);
        b = e + 1;
    }
    return out;
}

// Holds the log's lock file while it lives: other copies of the tool wait their turn.
class Cerrojo {
  public:
    explicit Cerrojo(const fs::path& lock) {
        try {
            { std::ofstream touch(lock, std::ios::binary | std::ios::app); }
            io_ = tables::FileIo(lock, tables::FileIo::Access::ReadWrite);
            for (int i = 0; i < 300 && !cogido_; ++i) {
                cogido_ = io_.tryLock(true);
                if (!cogido_) std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        } catch (const std::exception&) {
            cogido_ = false;
        }
    }
    ~Cerrojo() {
        if (cogido_) io_.unlock();
    }
    Cerrojo(const Cerrojo&) = delete;
    Cerrojo& operator=(const Cerrojo&) = delete;
    bool cogido() const { return cogido_; }

  private:
    tables::FileIo io_;
    bool cogido_ = false;
};

std::string miles(long long n) {
    std::string d = std::to_string(n < 0 ? -n : n), out;
    for (std::size_t i = 0; i < d.size(); ++i) {
        if (i && (d.size() - i) % 3 == 0) out += '.';
        out += d[i];
    }
    return (n < 0 ? "-" : "") + out;
}

std::string duracion(long long ms) {
    if (ms < 1000) return std::to_string(ms) + " ms";
    char buf[32];
    if (ms < 60000) {
        std::snprintf(buf, sizeof buf, "%.1f s", double(ms) / 1000.0);
    } else {
        std::snprintf(buf, sizeof buf, "%lld min %lld s", ms / 60000, (ms % 60000) / 1000);
    }
    std::string s = buf;
    for (char& c : s)
        if (c == '.') c = ',';
    return s;
}

std::string filas(long n) {
    return n < 0 ? std::string("? filas") : miles(n) + (n == 1 ? " fila" : " filas");
}

std::string estados(const Ejecucion& e) {
    std::string s = "EstadoTransformado " + std::to_string(e.estadoTransformado) + ", EstadoPaso " +
                    std::to_string(e.estadoPaso);
    if (e.salida) s += ", salida " + std::to_string(*e.salida);
    return s;
}

}  // namespace

std::string aJson(const Ejecucion& e) {
    std::string out = "{\"inicio\":";
    cadena(out, e.inicio);
    out += ",\"duracion_ms\":" + std::to_string(e.duracionMs);
    out += ",\"modo\":";
    cadena(out, e.modo);
    out += ",\"origen\":";
    cadena(out, e.origen);
    out += ",\"carpeta\":";
    cadena(out, e.carpeta);
    out += ",\"leidos\":";
    ficheros(out, e.leidos);
    out += ",\"escritos\":";
    ficheros(out, e.escritos);
    out += ",\"mensajes\":[";
    for (std::size_t i = 0; i < e.mensajes.size(); ++i) {
        if (i) out += ',';
        cadena(out, e.mensajes[i]);
    }
    out += "],\"resultado\":";
    cadena(out, e.resultado);
    out += ",\"estado_transformado\":" + std::to_string(e.estadoTransformado);
    out += ",\"estado_paso\":" + std::to_string(e.estadoPaso);
    out += ",\"salida\":" + (e.salida ? std::to_string(*e.salida) : std::string("null"));
    out += '}';
    return out;
}

std::optional<Ejecucion> deJson(std::string_view linea) {
    Valor v;
    Lector r(linea);
    if (!r.lee(v) || !r.alFinal() || v.tipo != Valor::Objeto) return std::nullopt;
    Ejecucion e;
    auto texto = [&](const char* k, std::string& out) {
        if (const Valor* x = v.campo(k); x && x->tipo == Valor::Cadena) out = x->texto;
    };
    auto entero = [&](const char* k, auto& out) {
        if (const Valor* x = v.campo(k); x && x->tipo == Valor::Numero)
            out = static_cast<std::remove_reference_t<decltype(out)>>(x->numero);
    };
    auto lista = [&](const char* k, std::vector<Fichero>& out) {
        const Valor* x = v.campo(k);
        if (!x || x->tipo != Valor::Lista) return;
        for (const Valor& f : x->lista) {
            if (f.tipo != Valor::Objeto) continue;
            Fichero fi;
            if (const Valor* n = f.campo("nombre"); n && n->tipo == Valor::Cadena)
                fi.nombre = n->texto;
            if (const Valor* n = f.campo("filas"); n && n->tipo == Valor::Numero)
                fi.filas = static_cast<long>(n->numero);
            out.push_back(std::move(fi));
        }
    };
    texto("inicio", e.inicio);
    entero("duracion_ms", e.duracionMs);
    texto("modo", e.modo);
    texto("origen", e.origen);
    texto("carpeta", e.carpeta);
    lista("leidos", e.leidos);
    lista("escritos", e.escritos);
    if (const Valor* m = v.campo("mensajes"); m && m->tipo == Valor::Lista)
        for (const Valor& x : m->lista)
            if (x.tipo == Valor::Cadena) e.mensajes.push_back(x.texto);
    texto("resultado", e.resultado);
    entero("estado_transformado", e.estadoTransformado);
    entero("estado_paso", e.estadoPaso);
    if (const Valor* s = v.campo("salida"); s && s->tipo == Valor::Numero)
        e.salida = static_cast<int>(s->numero);
    // A line that is an object but not a run (no mode, no start) is not a record.
    if (e.inicio.empty() || e.modo.empty()) return std::nullopt;
    return e;
}

std::string anade(const Ejecucion& e, const fs::path& log) {
    try {
        std::error_code ec;
        fs::create_directories(log.parent_path(), ec);
        if (ec)
            return "no se puede crear la carpeta " + tables::shown(log.parent_path()) + ": " +
                   platform::errorText(ec);
        Cerrojo cerrojo(log.parent_path() / (log.filename().string() + ".lock"));
        if (!cerrojo.cogido()) return "otro programa tiene ocupado el registro " + log.string();
        std::string antes;
        if (fs::exists(log, ec) && !leeFichero(log, antes))
            return "no se puede leer " + log.string();
        auto previas = lineas(antes);
        const std::size_t quedan = previas.size() >= kMaximo ? kMaximo - 1 : previas.size();
        std::string bytes;
        for (std::size_t i = previas.size() - quedan; i < previas.size(); ++i) {
            bytes.append(previas[i]);
            bytes += '\n';
        }
        bytes += aJson(e);
        bytes += '\n';
        if (const auto err = tables::replaceFile(log, bytes))
            return "no se puede escribir " + log.string() + ": " + platform::errorText(err);
        return "";
    } catch (const std::exception& x) {
        return x.what();
    }
}

std::vector<Ejecucion> ultimas(std::size_t n, const fs::path& log, std::size_t* danadas) {
    if (danadas) *danadas = 0;
    std::string text;
    std::error_code ec;
    if (!fs::exists(log, ec) || !leeFichero(log, text)) return {};
    const auto ls = lineas(text);
    std::vector<Ejecucion> out;
    for (auto it = ls.rbegin(); it != ls.rend() && (n == 0 || out.size() < n); ++it) {
        if (auto e = deJson(*it))
            out.push_back(std::move(*e));
        else if (danadas)
            ++*danadas;
    }
    return out;
}

std::string linea(const Ejecucion& e) {
    long leidas = 0, escritas = 0;
    for (const Fichero& f : e.leidos) leidas += std::max(0L, f.filas);
    for (const Fichero& f : e.escritos) escritas += std::max(0L, f.filas);
    std::string s = e.inicio + "  " + e.modo + " (" + e.origen + ")  " + duracion(e.duracionMs) +
                    "  " + e.resultado + " [" + estados(e) + "]  " + e.carpeta;
    s += "  leídos " + std::to_string(e.leidos.size()) + " (" + filas(leidas) + "), escritos " +
         std::to_string(e.escritos.size()) + " (" + filas(escritas) + "), " +
         std::to_string(e.mensajes.size()) + (e.mensajes.size() == 1 ? " mensaje" : " mensajes");
    return s;
}

std::string detalle(const Ejecucion& e) {
    std::string s = "Inicio: " + e.inicio + "\n";
    s += "Duración: " + duracion(e.duracionMs) + "\n";
    s += "Trabajo: " + e.modo + " (" + e.origen + ")\n";
    s += "Carpeta de textos: " + e.carpeta + "\n";
    s += "Resultado: " + e.resultado + " (" + estados(e) + ")\n";
    auto lista = [&](const char* titulo, const std::vector<Fichero>& v) {
        s += titulo;
        if (v.empty()) s += " ninguno";
        s += "\n";
        for (const Fichero& f : v) s += "  " + f.nombre + ": " + filas(f.filas) + "\n";
    };
    lista("Leídos:", e.leidos);
    lista("Escritos:", e.escritos);
    s += "Mensajes:";
    if (e.mensajes.empty()) s += " ninguno";
    s += "\n";
    for (const std::string& m : e.mensajes) {
        std::string one = m;
        for (char& c : one)
            if (c == '\r' || c == '\n') c = ' ';
        s += "  " + one + "\n";
    }
    return s;
}

}  // namespace tz::app::registro
