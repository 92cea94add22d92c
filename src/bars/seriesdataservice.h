#pragma once

class QObject;
class SeriesDataModel;

// A chart window's time index as the service that fills its models sees it: at a day change,
// once every model is reset to the new day and before they are filled again, it lays itself
// out anew for the new day's periods.
class DayChangeFollower
{
public:
    virtual ~DayChangeFollower() = default;
    virtual void followDayChange() = 0;
    // The object whose destruction ends the registration.
    virtual QObject *followerObject() = 0;
};

// What a bar model asks of the service that fills it: start filling, refresh, stop the fillers
// working on it, forget it. The data manager provides it; until one is set the requests go
// nowhere.
class SeriesDataService
{
public:
    virtual ~SeriesDataService() = default;

    // A model the service is to fill from now on; by default the service fills any model.
    virtual void registerModel(SeriesDataModel *model) { (void)model; }
    // Whether fillers are at work on the model.
    virtual bool isFilling(SeriesDataModel *model) const
    {
        (void)model;
        return false;
    }
    virtual void fillModel(SeriesDataModel *model) = 0;
    virtual void updateModel(SeriesDataModel *model) = 0;
    virtual void cancelFillers(SeriesDataModel *model) = 0;
    virtual void unregisterModel(SeriesDataModel *model) = 0;
    // A window's time index, to follow every day change until it is destroyed.
    virtual void registerSynchronizer(DayChangeFollower *synchronizer) { (void)synchronizer; }

    static SeriesDataService *instance();
    static void setInstance(SeriesDataService *service);
};
