#include "toolkit/qt/atspi_guard_qt.h"

#include <QAccessible>
#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QHash>
#include <QLoggingCategory>
#include <QPointer>
#include <QTimer>
#include <QXmlStreamReader>
#include <QtGlobal>

#include <algorithm>
#include <array>
#include <map>
#include <utility>

// What the guard relies on in Qt's AT-SPI bridge; each point was checked on the versions listed
// in verifiedVersions, and the guard steps aside where it can see that one does not hold.
//
// 1. The bridge tells the activation observers (QAccessible::installActivationObserver) that
//    accessibility is active just before it registers its adaptor, a QDBusVirtualObject, at
//    /org/a11y/atspi/accessible with sub-paths, on its connection to the accessibility bus: the
//    QDBusConnection named "a11y", connected by then. That registration fails while another
//    object holds the path; the bridge ignores the failure and announces the program all the
//    same. (Replacing the adaptor once it is registered would leave a moment in which a call
//    reaches it unguarded.)
// 2. The bridge itself is registered on the same connection at
//    /org/a11y/atspi/registry/deviceeventcontroller, and the adaptor is its child, of class
//    AtSpiAdaptor. Both live in the main thread, where QtDBus hands them their calls.
// 3. The adaptor's introspect(path) declares every interface it answers for the object at path,
//    with the methods' in-arguments and the properties. The adaptor reads a method's arguments by
//    position without checking that they are there or of the declared type, and takes a property
//    call as the call "Get"/"Set" + the property's name on the property's interface, which it
//    also accepts when sent as a method. Its GetAll reads an argument that GetAll does not have.
// 4. The adaptor answers through connection.send(message.createReply(...)), so that a call the
//    program makes to itself on the connection (QtDBus's local loop, in which the sender is the
//    connection's own name) returns the adaptor's answer at once.
// 5. Text.GetRangeExtents walks every offset of the range it is given, and
//    EditableText.InsertText pads the text it is given to the length it is given.
// 6. The adaptor leaves Text.GetBoundedRanges and Properties.Set of the application's Id
//    unanswered. QtDBus then warns "QDBusConnection: cannot call local method ..." of the
//    program's own Set, and answers it with an InternalError (writeProperty keeps that quiet).

namespace toolkit::detail {

namespace {

Q_LOGGING_CATEGORY(guardLog, "drill.atspi.guard")

constexpr std::array verifiedVersions{"6.4.2"};
#if QT_VERSION >= QT_VERSION_CHECK(6, 4, 0) && QT_VERSION < QT_VERSION_CHECK(6, 5, 0)
constexpr bool builtOnVerifiedQt = true;
#else
constexpr bool builtOnVerifiedQt = false;
#endif

const QString connectionName = QStringLiteral("a11y");
const QString accessiblePath = QStringLiteral("/org/a11y/atspi/accessible");
const QString rootPath = QStringLiteral("/org/a11y/atspi/accessible/root");
const QString bridgePath = QStringLiteral("/org/a11y/atspi/registry/deviceeventcontroller");
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString introspectableInterface = QStringLiteral("org.freedesktop.DBus.Introspectable");
const QString accessibleInterface = QStringLiteral("org.a11y.atspi.Accessible");

// ---------------------------------------------------------------------------------------------
// What the bridge declares

struct Property {
    QString type;
    bool writable = false;
};

struct Interface {
    std::map<QString, QString> methods; // name → the signature of its in-arguments
    std::map<QString, Property> properties;
};

using Declaration = std::map<QString, Interface>;

// The interfaces of the adaptor's introspection, which is a list of <interface> elements.
Declaration parseDeclaration(const QString& xml) {
    Declaration result;
    QXmlStreamReader reader(QStringLiteral("<node>") + xml + QStringLiteral("</node>"));
    Interface* interface = nullptr;
    QString* method = nullptr;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement()) {
            const QXmlStreamAttributes attributes = reader.attributes();
            const QString name = attributes.value(QLatin1StringView("name")).toString();
            if (reader.name() == u"interface") {
                interface = &result[name];
                method = nullptr;
            } else if (interface && reader.name() == u"method") {
                method = &interface->methods[name];
            } else if (method && reader.name() == u"arg") {
                const auto direction = attributes.value(QLatin1StringView("direction"));
                if (direction.isEmpty() || direction == u"in") {
                    method->append(attributes.value(QLatin1StringView("type")));
                }
            } else if (interface && reader.name() == u"property") {
                const auto access = attributes.value(QLatin1StringView("access"));
                interface->properties[name] = {
                    attributes.value(QLatin1StringView("type")).toString(),
                    access == u"readwrite" || access == u"write"};
            }
        } else if (reader.isEndElement()) {
            if (reader.name() == u"method") {
                method = nullptr;
            } else if (reader.name() == u"interface") {
                interface = nullptr;
            }
        }
    }
    return reader.hasError() ? Declaration() : result;
}

// The accessible object at an object path of the adaptor, or null.
QAccessibleInterface* accessibleAt(const QString& path) {
    if (path == rootPath) {
        return QAccessible::queryAccessibleInterface(qApp);
    }
    const QString prefix = accessiblePath + QLatin1Char('/');
    if (!path.startsWith(prefix)) {
        return nullptr;
    }
    bool number = false;
    const uint id = QStringView(path).mid(prefix.size()).toUInt(&number);
    return number ? QAccessible::accessibleInterface(id) : nullptr;
}

// The D-Bus type of a value sent in a variant.
QString signatureOf(const QVariant& value) {
    if (value.metaType() == QMetaType::fromType<QDBusArgument>()) {
        return value.value<QDBusArgument>().currentSignature();
    }
    const char* signature = QDBusMetaType::typeToSignature(value.metaType());
    return signature ? QString::fromLatin1(signature) : QString();
}

// ---------------------------------------------------------------------------------------------
// Offsets and ranges bounded by the text

// A call whose integer arguments at the given positions are offsets into the object's text; and,
// for one that inserts a text, the position of the length of that text (the text comes just
// before it).
struct TextCall {
    QLatin1StringView interface;
    QLatin1StringView method;
    std::array<int, 2> offsets; // −1: no such argument
    int length = -1;
};

constexpr QLatin1StringView text("org.a11y.atspi.Text");
constexpr QLatin1StringView editableText("org.a11y.atspi.EditableText");

constexpr std::array textCalls{
    TextCall{text, QLatin1StringView("GetText"), {0, 1}},
    TextCall{text, QLatin1StringView("SetCaretOffset"), {0, -1}},
    TextCall{text, QLatin1StringView("GetTextBeforeOffset"), {0, -1}},
    TextCall{text, QLatin1StringView("GetTextAtOffset"), {0, -1}},
    TextCall{text, QLatin1StringView("GetTextAfterOffset"), {0, -1}},
    TextCall{text, QLatin1StringView("GetStringAtOffset"), {0, -1}},
    TextCall{text, QLatin1StringView("GetCharacterAtOffset"), {0, -1}},
    TextCall{text, QLatin1StringView("GetAttributeValue"), {0, -1}},
    TextCall{text, QLatin1StringView("GetAttributes"), {0, -1}},
    TextCall{text, QLatin1StringView("GetAttributeRun"), {0, -1}},
    TextCall{text, QLatin1StringView("GetCharacterExtents"), {0, -1}},
    TextCall{text, QLatin1StringView("AddSelection"), {0, 1}},
    TextCall{text, QLatin1StringView("SetSelection"), {1, 2}},
    TextCall{text, QLatin1StringView("GetRangeExtents"), {0, 1}},
    TextCall{text, QLatin1StringView("ScrollSubstringTo"), {0, 1}},
    TextCall{editableText, QLatin1StringView("InsertText"), {0, -1}, 2},
    TextCall{editableText, QLatin1StringView("CopyText"), {0, 1}},
    TextCall{editableText, QLatin1StringView("CutText"), {0, 1}},
    TextCall{editableText, QLatin1StringView("DeleteText"), {0, 1}},
    TextCall{editableText, QLatin1StringView("PasteText"), {0, -1}},
};

// Calls the adaptor declares and takes without ever answering: the caller would wait in vain.
constexpr std::array unansweredCalls{
    std::pair{text, QLatin1StringView("GetBoundedRanges")},
};

bool isUnanswered(const QDBusMessage& message) {
    return std::any_of(unansweredCalls.begin(), unansweredCalls.end(), [&](const auto& call) {
        return message.interface() == call.first && message.member() == call.second;
    });
}

bool isInt(const QList<QVariant>& arguments, int at) {
    return at >= 0 && at < arguments.size() &&
           arguments.at(at).metaType() == QMetaType::fromType<int>();
}

// The message with its offsets within the text (−1, which stands for the end, is kept) and the
// length of an inserted text within that text.
QDBusMessage boundedByText(const QDBusMessage& message) {
    const auto call = std::find_if(textCalls.begin(), textCalls.end(), [&](const TextCall& c) {
        return message.interface() == c.interface && message.member() == c.method;
    });
    if (call == textCalls.end()) {
        return message;
    }
    QAccessibleInterface* object = accessibleAt(message.path());
    QAccessibleTextInterface* textOf = object ? object->textInterface() : nullptr;
    if (!textOf) {
        return message;
    }
    const int count = textOf->characterCount();
    QList<QVariant> arguments = message.arguments();
    for (int at : call->offsets) {
        if (isInt(arguments, at) && arguments.at(at).toInt() != -1) {
            arguments[at] = std::clamp(arguments.at(at).toInt(), 0, count);
        }
    }
    if (isInt(arguments, call->length) && call->length > 0) {
        const auto size = static_cast<int>(arguments.at(call->length - 1).toString().size());
        const int length = arguments.at(call->length).toInt();
        if (length < 0 || length > size) {
            arguments[call->length] = size;
        }
    }
    QDBusMessage bounded = message; // the same call: its answer goes where the call came from
    bounded.setArguments(arguments);
    return bounded;
}

// ---------------------------------------------------------------------------------------------
// The guard

QDBusVirtualObject* findAdaptor(const QDBusConnection& bus, const QObject* guard) {
    QObject* bridge = bus.objectRegisteredAt(bridgePath);
    if (!bridge) {
        return nullptr;
    }
    for (QObject* child : bridge->children()) {
        auto* adaptor = qobject_cast<QDBusVirtualObject*>(child);
        if (adaptor && adaptor != guard &&
            qstrcmp(adaptor->metaObject()->className(), "AtSpiAdaptor") == 0) {
            return adaptor;
        }
    }
    return nullptr;
}

class AtspiGuard : public QDBusVirtualObject {
public:
    explicit AtspiGuard(QObject* parent) : QDBusVirtualObject(parent) {}

    QString introspect(const QString& path) const override {
        QDBusVirtualObject* bridge = adaptor(QDBusConnection(connectionName));
        return bridge ? bridge->introspect(path) : QString();
    }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        QDBusVirtualObject* bridge = adaptor(connection);
        if (!bridge) {
            return refuse(message, connection, QDBusError::Failed,
                          QStringLiteral("The accessibility bridge is not available"));
        }
        // The guard's own property reads (see allProperties).
        if (message.service() == connection.baseService()) {
            return bridge->handleMessage(message, connection);
        }
        if (message.type() != QDBusMessage::MethodCallMessage) {
            return false;
        }
        if (message.interface() == introspectableInterface) {
            return false; // QtDBus answers it from introspect()
        }
        const Declaration* declared = declarationAt(message.path(), *bridge);
        if (!declared) {
            return refuse(message, connection, QDBusError::UnknownObject,
                          QStringLiteral("No accessible object at %1").arg(message.path()));
        }
        if (message.interface() == propertiesInterface) {
            return propertyCall(message, connection, *declared, *bridge);
        }
        const auto interface = declared->find(message.interface());
        if (interface == declared->end()) {
            return refuse(
                message, connection, QDBusError::UnknownInterface,
                QStringLiteral("%1 has no interface %2").arg(message.path(), message.interface()));
        }
        const QString member = message.member();
        // A property set as a method: the adaptor reads it as Properties.Set, by arguments that
        // such a call does not have.
        if (member.startsWith(QLatin1String("Set")) &&
            interface->second.properties.count(member.mid(3))) {
            return refuse(
                message, connection, QDBusError::UnknownMethod,
                QStringLiteral("%1 is set through %2.Set").arg(member.mid(3), propertiesInterface));
        }
        const auto method = interface->second.methods.find(member);
        if (method == interface->second.methods.end()) {
            // A call the adaptor answers without declaring it (GetInterfaces) takes nothing.
            if (!message.signature().isEmpty() || member.startsWith(QLatin1String("Set"))) {
                return refuse(message, connection, QDBusError::UnknownMethod,
                              QStringLiteral("%1 has no method %2(%3)")
                                  .arg(message.interface(), member, message.signature()));
            }
            return bridge->handleMessage(message, connection);
        }
        if (method->second != message.signature()) {
            return refuse(message, connection, QDBusError::InvalidArgs,
                          QStringLiteral("%1 takes (%2), not (%3)")
                              .arg(member, method->second, message.signature()));
        }
        if (isUnanswered(message)) {
            return refuse(message, connection, QDBusError::NotSupported,
                          QStringLiteral("%1 is not supported").arg(member));
        }
        return bridge->handleMessage(boundedByText(message), connection);
    }

    // Run once the bridge has set itself up: the guard stays only in front of an adaptor it can
    // reach and read the declarations of; otherwise the adaptor takes its path back, as it would
    // have without the guard.
    void confirm() {
        QDBusConnection bus(connectionName);
        QDBusVirtualObject* bridge = adaptor(bus);
        if (bridge && parseDeclaration(bridge->introspect(rootPath)).count(accessibleInterface)) {
            return;
        }
        qCWarning(guardLog, "The accessibility bridge is not as expected: unguarded");
        bus.unregisterObject(accessiblePath, QDBusConnection::UnregisterTree);
        if (bridge) {
            bus.registerVirtualObject(accessiblePath, bridge, QDBusConnection::SubPath);
        }
    }

private:
    mutable QPointer<QDBusVirtualObject> found;
    // Parsed declarations by their text: the objects share a few sets of interfaces.
    std::map<QString, Declaration> declarations;

    QDBusVirtualObject* adaptor(const QDBusConnection& bus) const {
        if (!found) {
            found = findAdaptor(bus, this);
        }
        return found;
    }

    const Declaration* declarationAt(const QString& path, const QDBusVirtualObject& bridge) {
        if (!accessibleAt(path)) {
            return nullptr;
        }
        const QString xml = bridge.introspect(path);
        if (xml.isEmpty()) {
            return nullptr;
        }
        auto known = declarations.find(xml);
        if (known == declarations.end()) {
            if (declarations.size() > 64) {
                declarations.clear();
            }
            known = declarations.emplace(xml, parseDeclaration(xml)).first;
        }
        return known->second.empty() ? nullptr : &known->second;
    }

    static bool refuse(const QDBusMessage& message, const QDBusConnection& connection,
                       QDBusError::ErrorType error, const QString& why) {
        connection.send(message.createErrorReply(error, why));
        return true;
    }

    bool propertyCall(const QDBusMessage& message, const QDBusConnection& connection,
                      const Declaration& declared, QDBusVirtualObject& bridge) {
        const QString member = message.member();
        const QString signature = message.signature();
        const bool get = member == QLatin1String("Get") && signature == QLatin1String("ss");
        const bool set = member == QLatin1String("Set") && signature == QLatin1String("ssv");
        const bool all = member == QLatin1String("GetAll") && signature == QLatin1String("s");
        if (!get && !set && !all) {
            return refuse(message, connection, QDBusError::InvalidArgs,
                          QStringLiteral("%1.%2(%3) is not a property call")
                              .arg(propertiesInterface, member, signature));
        }
        const QList<QVariant> arguments = message.arguments();
        const QString name = arguments.at(0).toString();
        const auto interface = declared.find(name);
        if (interface == declared.end()) {
            return refuse(message, connection, QDBusError::UnknownInterface,
                          QStringLiteral("%1 has no interface %2").arg(message.path(), name));
        }
        if (all) {
            return allProperties(message, connection, name, interface->second);
        }
        const QString propertyName = arguments.at(1).toString();
        const auto property = interface->second.properties.find(propertyName);
        if (property == interface->second.properties.end()) {
            return refuse(message, connection, QDBusError::UnknownProperty,
                          QStringLiteral("%1 has no property %2").arg(name, propertyName));
        }
        if (set) {
            if (!property->second.writable) {
                return refuse(message, connection, QDBusError::PropertyReadOnly,
                              QStringLiteral("%1 is read-only").arg(propertyName));
            }
            const QString given = signatureOf(arguments.at(2).value<QDBusVariant>().variant());
            if (given != property->second.type) {
                return refuse(message, connection, QDBusError::InvalidArgs,
                              QStringLiteral("%1 is of type %2, not %3")
                                  .arg(propertyName, property->second.type, given));
            }
            return writeProperty(message, connection);
        }
        return bridge.handleMessage(message, connection);
    }

    static inline QtMessageHandler previousHandler = nullptr;

    static void quietUnanswered(QtMsgType type, const QMessageLogContext& context,
                                const QString& text) {
        if (type == QtWarningMsg &&
            text.startsWith(QLatin1String("QDBusConnection: cannot call local method"))) {
            return;
        }
        if (previousHandler) {
            previousHandler(type, context, text);
        }
    }

    // Set, passed on as a call of the program to itself: the adaptor sets some properties (the
    // application's Id) without answering, and the caller would wait for an answer in vain.
    static bool writeProperty(const QDBusMessage& message, const QDBusConnection& connection) {
        QDBusMessage write = QDBusMessage::createMethodCall(
            connection.baseService(), message.path(), propertiesInterface, QStringLiteral("Set"));
        write.setArguments(message.arguments());
        // QtDBus warns of a call to itself left unanswered; here that is expected.
        previousHandler = qInstallMessageHandler(&quietUnanswered);
        const QDBusMessage reply = connection.call(write, QDBus::Block, 1000);
        qInstallMessageHandler(previousHandler);
        const bool unanswered =
            reply.type() == QDBusMessage::ErrorMessage &&
            reply.errorName() == QDBusError::errorString(QDBusError::InternalError);
        if (reply.type() == QDBusMessage::ErrorMessage && !unanswered) {
            connection.send(message.createErrorReply(reply.errorName(), reply.errorMessage()));
        } else {
            connection.send(message.createReply());
        }
        return true;
    }

    // GetAll, answered with what the adaptor answers to Get for each property of the interface.
    // Each Get is a call of the program to itself, which passes the guard unchecked.
    static bool allProperties(const QDBusMessage& message, const QDBusConnection& connection,
                              const QString& interface, const Interface& declared) {
        QVariantMap values;
        for (const auto& property : declared.properties) {
            QDBusMessage read =
                QDBusMessage::createMethodCall(connection.baseService(), message.path(),
                                               propertiesInterface, QStringLiteral("Get"));
            read << interface << property.first;
            const QDBusMessage reply = connection.call(read, QDBus::Block, 1000);
            if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1) {
                continue; // a property the adaptor does not answer for this object
            }
            QVariant value = reply.arguments().at(0);
            if (value.metaType() == QMetaType::fromType<QDBusVariant>()) {
                value = value.value<QDBusVariant>().variant();
            }
            values.insert(property.first, value);
        }
        connection.send(message.createReply(QVariant::fromValue(values)));
        return true;
    }
};

// Puts the guard in front when the bridge comes up (see point 1 above).
class GuardInstaller : public QAccessible::ActivationObserver {
public:
    void accessibilityActiveChanged(bool active) override {
        if (!active || tried) {
            return;
        }
        tried = true;
        QDBusConnection bus(connectionName);
        if (!bus.isConnected() || bus.objectRegisteredAt(accessiblePath)) {
            qCWarning(guardLog, "The accessibility bus is not as expected: unguarded");
            return;
        }
        // Without a parent: the guard lasts as long as the adaptor, which Qt never deletes, so
        // that a call arriving while the program ends finds it.
        guard = new AtspiGuard(nullptr);
        if (!bus.registerVirtualObject(accessiblePath, guard, QDBusConnection::SubPath)) {
            qCWarning(guardLog, "The accessibility guard could not be registered: unguarded");
            delete guard;
            guard = nullptr;
            return;
        }
        QTimer::singleShot(0, guard, [this] { guard->confirm(); });
    }

private:
    bool tried = false;
    AtspiGuard* guard = nullptr;
};

bool onVerifiedQt() {
    return builtOnVerifiedQt &&
           std::any_of(verifiedVersions.begin(), verifiedVersions.end(),
                       [](const char* v) { return qstrcmp(qVersion(), v) == 0; });
}

} // namespace

void installAtspiGuard() {
    static GuardInstaller installer;
    static bool installed = false;
    if (installed || !onVerifiedQt() ||
        qEnvironmentVariable("DRILL_ATSPI_GUARD") == QLatin1String("off")) {
        return;
    }
    installed = true;
    QAccessible::installActivationObserver(&installer);
}

} // namespace toolkit::detail
