// ThreadSanitizer builds only: tells TSan about the hand-over of QMetaObject::invokeMethod.
// Debian's Qt is not built with TSan, and the queue and semaphore that order a call made on
// another thread are futexes TSan cannot see; without this, everything a run's thread hands to
// the user-interface thread would look like a race. The calls themselves are Qt's, unchanged.
#include <dlfcn.h>

#include <QObject>

extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);

namespace {

// Wraps the slot of one call: what the caller did before the call happens before the slot
// runs; what the slot did happens before it is let go and, for a blocking call, before the
// caller goes on.
class Ordered : public QtPrivate::QSlotObjectBase {
 public:
  Ordered(QtPrivate::QSlotObjectBase* inner, char* done)
      : QSlotObjectBase(&Ordered::Impl), inner_(inner), done_(done) {}

 private:
  static void Impl(int which, QSlotObjectBase* self, QObject* receiver, void** args, bool* ret) {
    auto* me = static_cast<Ordered*>(self);
    switch (which) {
      case Destroy:
        __tsan_acquire(me);  // after the call, on whichever thread lets the slot go
        me->inner_->destroyIfLastRef();
        delete me;
        break;
      case Call: {
        __tsan_acquire(me);
        char* const done = me->done_;
        me->inner_->call(receiver, args);
        if (done != nullptr) __tsan_release(done);
        __tsan_release(me);
        break;
      }
      case Compare:
        *ret = me->inner_->compare(args);
        break;
      default:
        break;
    }
  }
  QtPrivate::QSlotObjectBase* inner_;
  char* done_;
};

using InvokeFn = bool (*)(QObject*, QtPrivate::QSlotObjectBase*, Qt::ConnectionType, void*);

}  // namespace

bool QMetaObject::invokeMethodImpl(QObject* object, QtPrivate::QSlotObjectBase* slot,
                                   Qt::ConnectionType type, void* ret) {
  static const auto real = reinterpret_cast<InvokeFn>(dlsym(
      RTLD_NEXT,
      "_ZN11QMetaObject16invokeMethodImplEP7QObjectPN9QtPrivate15QSlotObjectBaseEN2Qt14ConnectionTypeEPv"));
  char done = 0;
  auto* ordered = new Ordered(slot, type == Qt::BlockingQueuedConnection ? &done : nullptr);
  __tsan_release(ordered);
  const bool invoked = real(object, ordered, type, ret);
  if (type == Qt::BlockingQueuedConnection) __tsan_acquire(&done);
  return invoked;
}
