// Owning wrappers for the pens and paths the host's drawing supplier hands out.
#pragma once

#include "host/DrawbotSuiteTypes.h"

#include <exception>

/// A failed supplier call; carries the host's result.
class DRAWBOT_Exception : public std::exception {
public:
    /// Wraps the non-zero result of a supplier call.
    explicit DRAWBOT_Exception(SPErr err) : m_err(err) {}
    /// The host's result of the failed call.
    SPErr ErrorCode() const { return m_err; }

private:
    SPErr m_err;
};

/// Holds at most one pen or path and gives it back through the supplier suite it came from.
template <typename RefType>
class SharedRefImpl {
public:
    /// Destruction releases the held object; see ReleaseQuietly for a failing release.
    virtual ~SharedRefImpl() noexcept { ReleaseQuietly(); }
    SharedRefImpl(const SharedRefImpl&) = delete;
    SharedRefImpl& operator=(const SharedRefImpl&) = delete;

    /// Asks the host to retain the held object; throws DRAWBOT_Exception on failure.
    void RetainObject() {
        if (m_object) {
            const SPErr err = m_suite->RetainObject(AsObject());
            if (err) {
                throw DRAWBOT_Exception(err);
            }
        }
    }

    /// Gives the held object back; on failure throws and keeps holding it.
    void ReleaseObject() {
        if (m_object) {
            const SPErr err = m_suite->ReleaseObject(AsObject());
            if (err) {
                throw DRAWBOT_Exception(err);
            }
            m_object = nullptr;
        }
    }

    /// The held object, null when nothing is held.
    RefType Get() const { return m_object; }

protected:
    /// Holds nothing yet; the derived constructor makes the first object.
    explicit SharedRefImpl(DRAWBOT_SupplierSuite1* suite) : m_object(nullptr), m_suite(suite) {
        RetainObject();
    }

    /// Takes `made`, made through `suite`, in place of the held object. The old one is given
    /// back first through its own suite; if that throws, the old one stays held and `made`
    /// goes back to the host at once, since nobody else could ever give it back.
    void Hold(DRAWBOT_SupplierSuite1* suite, RefType made) {
        if (made != m_object) {
            try {
                ReleaseObject();
            } catch (const DRAWBOT_Exception&) {
                (void)suite->ReleaseObject(reinterpret_cast<DRAWBOT_ObjectRef>(made));
                throw;
            }
            m_object = made;
            m_suite = suite;
        }
    }

    /// For destructors: a failed release cannot be reported from here, so its result is
    /// dropped on purpose and the host keeps the object.
    void ReleaseQuietly() noexcept {
        if (m_object) {
            (void)m_suite->ReleaseObject(AsObject());
            m_object = nullptr;
        }
    }

private:
    DRAWBOT_ObjectRef AsObject() const { return reinterpret_cast<DRAWBOT_ObjectRef>(m_object); }

    RefType m_object;
    DRAWBOT_SupplierSuite1* m_suite;
};

/// A pen of one colour and width.
class DRAWBOT_PenP : public SharedRefImpl<_DRAWBOT_PenRef*> {
public:
    /// Makes the pen; throws DRAWBOT_Exception (holding nothing) when the host refuses.
    DRAWBOT_PenP(DRAWBOT_SupplierSuite1* suite, DRAWBOT_SupplierRef supplier, const DRAWBOT_ColorRGBA* colour,
                 float size)
        : SharedRefImpl(suite) {
        New(suite, supplier, colour, size);
    }
    ~DRAWBOT_PenP() noexcept override { ReleaseQuietly(); }

    /// Makes a new pen, then gives the old one back; a refused NewPen keeps the old one.
    void New(DRAWBOT_SupplierSuite1* suite, DRAWBOT_SupplierRef supplier, const DRAWBOT_ColorRGBA* colour,
             float size) {
        DRAWBOT_PenRef made = nullptr;
        const SPErr err = suite->NewPen(supplier, colour, size, &made);
        if (err) {
            throw DRAWBOT_Exception(err);
        }
        Hold(suite, made);
    }
};

/// A path, built by the path suite and stroked whole.
class DRAWBOT_PathP : public SharedRefImpl<_DRAWBOT_PathRef*> {
public:
    /// Makes an empty path; throws DRAWBOT_Exception (holding nothing) when the host refuses.
    DRAWBOT_PathP(DRAWBOT_SupplierSuite1* suite, DRAWBOT_SupplierRef supplier) : SharedRefImpl(suite) {
        New(suite, supplier);
    }
    ~DRAWBOT_PathP() noexcept override { ReleaseQuietly(); }

    /// Makes a new empty path, then gives the old one back; a refused NewPath keeps the old one.
    void New(DRAWBOT_SupplierSuite1* suite, DRAWBOT_SupplierRef supplier) {
        DRAWBOT_PathRef made = nullptr;
        const SPErr err = suite->NewPath(supplier, &made);
        if (err) {
            throw DRAWBOT_Exception(err);
        }
        Hold(suite, made);
    }
};
